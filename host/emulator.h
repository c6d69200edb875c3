// A 32-bit x86 CPU (Unicorn) set up as a Windows thread would see it: flat
// segments, FS over a thread block, a stack, x87 control word 0x027F and
// MXCSR 0x1F80. The host calls module functions through it, module code
// calls the host through stubs, and every call is checked against the
// standard calling convention.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "host_error.h"

struct uc_struct;

namespace gauge {

// Fixed parts of the emulated address space; modules are mapped below.
namespace layout {
inline constexpr uint32_t kGdt = 0x70000000;
inline constexpr uint32_t kThreadBlock = 0x70001000;
inline constexpr uint32_t kHostCode = 0x70002000;  // return pad, emulated routines
inline constexpr uint32_t kStubs = 0x70010000;     // each stub is watched by a code hook
inline constexpr uint32_t kStubsSize = 0x10000;
inline constexpr uint32_t kStackBottom = 0x70100000;
inline constexpr uint32_t kStackTop = 0x70200000;
inline constexpr uint32_t kHeap = 0x71000000;      // host-owned records and buffers
inline constexpr uint32_t kHeapSize = 0x01000000;
inline constexpr uint32_t kHostBegin = kGdt;
inline constexpr uint32_t kHostEnd = kHeap + kHeapSize;
}  // namespace layout

// Memory protection bits (as Unicorn's UC_PROT_*).
enum Protection : uint32_t { kRead = 1, kWrite = 2, kExecute = 4, kAll = 7 };

class Emulator;

// What a stub handler sees: the caller's argument words and the result to give.
class StubFrame {
 public:
  StubFrame(Emulator& emulator, uint32_t esp) : emulator_(emulator), esp_(esp) {}
  uint32_t arg(int index) const;  // the index-th 32-bit argument word
  void set_result(uint32_t eax);
  Emulator& emulator() { return emulator_; }

 private:
  Emulator& emulator_;
  uint32_t esp_;
};

class Emulator {
 public:
  Emulator();
  ~Emulator();
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  // Memory. Reads and writes by the host ignore page protection and do not
  // reach the access observer; a range that is not mapped raises kMemoryFault
  // (from a stub: the module passed a bad address).
  void Map(uint32_t address, uint32_t size, uint32_t protection);
  void Protect(uint32_t address, uint32_t size, uint32_t protection);
  bool IsMapped(uint32_t address, uint32_t size) const;
  uint32_t ProtectionAt(uint32_t address) const;  // 0 when unmapped
  void Read(uint32_t address, void* out, size_t size) const;
  void Write(uint32_t address, const void* data, size_t size);
  uint32_t ReadWord(uint32_t address) const;
  void WriteWord(uint32_t address, uint32_t value);
  double ReadDouble(uint32_t address) const;
  void WriteDouble(uint32_t address, double value);
  std::string ReadString(uint32_t address, size_t max_length) const;

  // Host memory inside the emulated address space, never freed.
  uint32_t Allocate(uint32_t size, uint32_t align = 16);

  // A stub: an address that module code can call. When reached, `handler`
  // runs, then the stub returns, removing `argument_words` words when
  // `callee_pops` (standard calling convention) and none otherwise (C).
  using StubHandler = std::function<void(StubFrame&)>;
  uint32_t AddStub(int argument_words, bool callee_pops, StubHandler handler);
  // Emulated machine code in host memory, for routines that call back into
  // module code (a stub cannot: the CPU is not reentrant). Returns its address.
  uint32_t AddCode(std::span<const uint8_t> code);

  // Calls `function` with the standard calling convention: `args` are pushed
  // as 32-bit words, first argument nearest the return address. Checks that
  // the callee removed exactly its arguments and left the x87 stack empty
  // (a double result is popped by the emulated CPU itself).
  uint32_t CallWord(uint32_t function, std::span<const uint32_t> args);
  double CallDouble(uint32_t function, std::span<const uint32_t> args);

  void SetFpuControlWord(uint16_t value);
  uint16_t fpu_control_word() const;
  void SetMxcsr(uint32_t value);
  uint32_t mxcsr() const;

  // Run-away guard: a call fails with kRunaway once it has executed this
  // many translated blocks (at least as many instructions), counting the
  // work stubs do for it (see Charge).
  void SetInstructionLimit(uint64_t limit) { instruction_limit_ = limit; }
  uint64_t instruction_limit() const { return instruction_limit_; }
  // From a stub handler: charges host work done for the running call as
  // `blocks` translated blocks; throws kRunaway once the call's budget is
  // spent, so that a module looping through stubs stops like one looping
  // in its own code.
  void Charge(uint64_t blocks);
  // Work charged and blocks executed so far by the running (or last) call.
  uint64_t budget_used() const { return blocks_; }
  // Throws kMemoryFault naming `what` unless every byte of [address,
  // address + size) is mapped with at least `protection`: a stub checks the
  // module's ranges before it does or allocates anything of their size.
  void RequireAccess(uint32_t address, uint64_t size, uint32_t protection, const char* what) const;
  // Exact instruction counting costs a hook per instruction: off by default.
  void SetInstructionCounting(bool on);
  bool instruction_counting() const { return count_hook_ != 0; }
  // Instructions executed by the last call (0 when counting is off).
  uint64_t last_instruction_count() const { return instructions_; }

  // Observes every read and write that emulated code makes in [begin, end).
  // An empty function switches observing off (and its cost with it).
  using AccessObserver = std::function<void(uint32_t address, uint32_t size, bool write)>;
  void SetAccessObserver(uint32_t begin, uint32_t end, AccessObserver observer);

  // Fails the running call from inside a stub handler.
  void Fail(ErrorKind kind, std::string message);

  uint32_t ReadRegister(int reg) const;
  void WriteRegister(int reg, uint32_t value);

 private:
  struct Stub {
    StubHandler handler;
  };
  void SetUpSegments();
  void RunCall(uint32_t function, std::span<const uint32_t> args, uint32_t pad);
  void ResetAfterFailure();
  std::string RunawayMessage(const std::string& where) const;
  void FailInvalidMemory(int type, uint64_t address, int size);
  template <typename Hook>
  void Guarded(Hook&& hook) noexcept;
  void FailWithCurrentException();
  void Flush();
  static void OnStub(uc_struct* uc, uint64_t address, uint32_t size, void* self);
  static void OnBlock(uc_struct* uc, uint64_t address, uint32_t size, void* self);
  static void OnInstruction(uc_struct* uc, uint64_t address, uint32_t size, void* self);
  static bool OnInvalidMemory(uc_struct* uc, int type, uint64_t address, int size, int64_t value,
                              void* self);
  static void OnAccess(uc_struct* uc, int type, uint64_t address, int size, int64_t value, void* self);
  static void OnInterrupt(uc_struct* uc, uint32_t number, void* self);

  uc_struct* uc_ = nullptr;
  std::vector<Stub> stubs_;
  uint32_t host_code_next_ = 0;
  uint32_t heap_next_ = layout::kHeap;
  uint32_t word_pad_ = 0;
  uint32_t double_pad_ = 0;
  uint32_t pad_result_ = 0;
  static constexpr uint32_t kRegisterArgs = 6;
  uint32_t trampolines_[2][kRegisterArgs + 1] = {};  // [double result][argument words]
  uint64_t instruction_limit_ = 50'000'000;
  uint64_t blocks_ = 0;
  uint64_t instructions_ = 0;
  size_t count_hook_ = 0;
  size_t access_hook_ = 0;
  AccessObserver observer_;
  bool failed_ = false;
  ErrorKind fail_kind_ = ErrorKind::kInternal;
  std::string fail_message_;
  uint32_t call_function_ = 0;
};

}  // namespace gauge
