#include "emulator.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

namespace gauge {
namespace {

constexpr uint32_t kStubSpacing = 16;
constexpr uint32_t kThreadBlockSize = 0x1000;
// Calls place their argument words at a 16-byte aligned address, as a
// compiler's caller would: the callee's 8-byte stack stores are then aligned,
// which this emulator runs many times faster than unaligned ones.
constexpr uint32_t kCallFrameBase = layout::kStackTop - 0x10000;
constexpr uint16_t kWindowsFpuControl = 0x027F;
constexpr uint32_t kWindowsMxcsr = 0x1F80;
constexpr uint32_t kEmptyTags = 0xFFFF;  // every x87 register tagged empty
// GDT selectors: flat ring-0 code and data, and FS over the thread block.
constexpr uint32_t kCodeSelector = 0x08;
constexpr uint32_t kDataSelector = 0x10;
constexpr uint32_t kFsSelector = 0x18;
// Registers that carry the first argument words into a call trampoline, and
// the push instruction for each.
constexpr int kArgumentRegister[] = {UC_X86_REG_EAX, UC_X86_REG_ECX, UC_X86_REG_EDX,
                                     UC_X86_REG_EBX, UC_X86_REG_ESI, UC_X86_REG_EDI};
constexpr uint8_t kPushRegister[] = {0x50, 0x51, 0x52, 0x53, 0x56, 0x57};

std::string Hex(uint64_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08llx", static_cast<unsigned long long>(v));
  return text;
}

std::string Hex16(uint32_t v) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", v & 0xFFFF);
  return text;
}

uint64_t Descriptor(uint32_t base, uint32_t limit, uint8_t access, uint8_t flags) {
  uint64_t d = limit & 0xFFFF;
  d |= uint64_t(base & 0xFFFFFF) << 16;
  d |= uint64_t(access) << 40;
  d |= uint64_t((limit >> 16) & 0xF) << 48;
  d |= uint64_t(flags & 0xF) << 52;
  d |= uint64_t(base >> 24) << 56;
  return d;
}

void Check(uc_err err, const char* what) {
  if (err != UC_ERR_OK)
    throw HostError(ErrorKind::kInternal, std::string(what) + ": " + uc_strerror(err));
}

}  // namespace

uint32_t StubFrame::arg(int index) const { return emulator_.ReadWord(esp_ + 4 + 4 * index); }
void StubFrame::set_result(uint32_t eax) { emulator_.WriteRegister(UC_X86_REG_EAX, eax); }

Emulator::Emulator() {
  Check(uc_open(UC_ARCH_X86, UC_MODE_32, &uc_), "cannot start the emulator");
  Map(layout::kGdt, 0x1000, kRead | kWrite);
  Map(layout::kThreadBlock, kThreadBlockSize, kRead | kWrite);
  Map(layout::kHostCode, 0x1000, kRead | kExecute);
  Map(layout::kStubs, layout::kStubsSize, kRead | kExecute);
  Map(layout::kStackBottom, layout::kStackTop - layout::kStackBottom, kRead | kWrite);
  Map(layout::kHeap, layout::kHeapSize, kRead | kWrite);
  host_code_next_ = layout::kHostCode;

  // Return pads: a plain stop, and one that first pops the x87 result.
  pad_result_ = Allocate(8);
  const uint8_t word_pad[] = {0xF4};  // hlt
  word_pad_ = AddCode(word_pad);
  uint8_t double_pad[] = {0xDD, 0x1D, 0, 0, 0, 0, 0xF4};  // fstp qword [pad_result]; hlt
  std::memcpy(double_pad + 2, &pad_result_, 4);
  double_pad_ = AddCode(double_pad);

  // Call trampolines: push up to six argument words from registers and the
  // return pad, then jump to EBP. Host writes to emulated memory are costly
  // (each one checks for translated code to throw away); registers are not.
  for (int pad = 0; pad < 2; ++pad) {
    for (uint32_t count = 0; count <= kRegisterArgs; ++count) {
      std::vector<uint8_t> code;
      for (uint32_t i = count; i-- > 0;) code.push_back(kPushRegister[i]);
      const uint32_t pad_address = pad ? double_pad_ : word_pad_;
      code.push_back(0x68);  // push imm32
      for (int b = 0; b < 4; ++b) code.push_back(uint8_t(pad_address >> (8 * b)));
      code.push_back(0xFF);  // jmp ebp
      code.push_back(0xE5);
      trampolines_[pad][count] = AddCode(code);
    }
  }

  SetUpSegments();
  SetFpuControlWord(kWindowsFpuControl);
  SetMxcsr(kWindowsMxcsr);
  ResetAfterFailure();  // an empty x87 stack and clear status, as the thread starts

  // Every hook is in place before the first call: hooks added later would
  // miss blocks already translated (the optional ones flush the cache).
  uc_hook hook;
  Check(uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(&OnStub), this,
                    layout::kStubs, layout::kStubs + layout::kStubsSize - 1),
        "stub hook");
  Check(uc_hook_add(uc_, &hook, UC_HOOK_BLOCK, reinterpret_cast<void*>(&OnBlock), this, 1, 0),
        "block hook");
  Check(uc_hook_add(uc_, &hook, UC_HOOK_MEM_INVALID, reinterpret_cast<void*>(&OnInvalidMemory),
                    this, 1, 0),
        "memory hook");
  Check(uc_hook_add(uc_, &hook, UC_HOOK_INTR, reinterpret_cast<void*>(&OnInterrupt), this, 1, 0),
        "interrupt hook");
}

Emulator::~Emulator() { uc_close(uc_); }

void Emulator::SetUpSegments() {
  const uint64_t gdt[4] = {
      0,
      Descriptor(0, 0xFFFFF, 0x9A, 0xC),                             // code, 4 GB, 32-bit
      Descriptor(0, 0xFFFFF, 0x92, 0xC),                             // data, 4 GB, 32-bit
      Descriptor(layout::kThreadBlock, kThreadBlockSize - 1, 0x92, 0x4),  // thread block
  };
  Write(layout::kGdt, gdt, sizeof gdt);
  uc_x86_mmr gdtr{0, layout::kGdt, sizeof gdt - 1, 0};
  Check(uc_reg_write(uc_, UC_X86_REG_GDTR, &gdtr), "GDT");
  // SS, DS and ES before FS: loading FS first leaves a 16-bit stack.
  for (int reg : {UC_X86_REG_SS, UC_X86_REG_DS, UC_X86_REG_ES}) {
    uint32_t selector = kDataSelector;
    Check(uc_reg_write(uc_, reg, &selector), "data segment");
  }
  uint32_t selector = kCodeSelector;
  Check(uc_reg_write(uc_, UC_X86_REG_CS, &selector), "code segment");
  selector = kFsSelector;
  Check(uc_reg_write(uc_, UC_X86_REG_FS, &selector), "FS segment");
  selector = kDataSelector;
  Check(uc_reg_write(uc_, UC_X86_REG_GS, &selector), "GS segment");

  // Thread block: exception list end, stack base and limit, self pointer,
  // thread-local storage array, process block.
  const uint32_t peb = layout::kThreadBlock + 0x800;
  const uint32_t tls_array = layout::kThreadBlock + 0x700;
  WriteWord(layout::kThreadBlock + 0x00, 0xFFFFFFFF);
  WriteWord(layout::kThreadBlock + 0x04, layout::kStackTop);
  WriteWord(layout::kThreadBlock + 0x08, layout::kStackBottom);
  WriteWord(layout::kThreadBlock + 0x18, layout::kThreadBlock);
  WriteWord(layout::kThreadBlock + 0x2C, tls_array);
  WriteWord(layout::kThreadBlock + 0x30, peb);
}

void Emulator::Map(uint32_t address, uint32_t size, uint32_t protection) {
  Check(uc_mem_map(uc_, address, size, protection), "cannot map emulated memory");
}

void Emulator::Protect(uint32_t address, uint32_t size, uint32_t protection) {
  Check(uc_mem_protect(uc_, address, size, protection), "cannot protect emulated memory");
}

bool Emulator::IsMapped(uint32_t address, uint32_t size) const {
  uint8_t probe;
  return size == 0 || (uc_mem_read(uc_, address, &probe, 1) == UC_ERR_OK &&
                       uc_mem_read(uc_, address + size - 1, &probe, 1) == UC_ERR_OK);
}

uint32_t Emulator::ProtectionAt(uint32_t address) const {
  uc_mem_region* regions = nullptr;
  uint32_t count = 0;
  if (uc_mem_regions(uc_, &regions, &count) != UC_ERR_OK) return 0;
  uint32_t protection = 0;
  for (uint32_t i = 0; i < count; ++i)
    if (address >= regions[i].begin && address <= regions[i].end) protection = regions[i].perms;
  uc_free(regions);
  return protection;
}

void Emulator::Read(uint32_t address, void* out, size_t size) const {
  if (uc_mem_read(uc_, address, out, size) != UC_ERR_OK)
    throw HostError(ErrorKind::kMemoryFault, "host read of unmapped memory at " + Hex(address));
}

void Emulator::Write(uint32_t address, const void* data, size_t size) {
  if (uc_mem_write(uc_, address, data, size) != UC_ERR_OK)
    throw HostError(ErrorKind::kMemoryFault, "host write to unmapped memory at " + Hex(address));
}

uint32_t Emulator::ReadWord(uint32_t address) const {
  uint32_t v;
  Read(address, &v, 4);
  return v;
}

void Emulator::WriteWord(uint32_t address, uint32_t value) { Write(address, &value, 4); }

double Emulator::ReadDouble(uint32_t address) const {
  double v;
  Read(address, &v, 8);
  return v;
}

void Emulator::WriteDouble(uint32_t address, double value) { Write(address, &value, 8); }

std::string Emulator::ReadString(uint32_t address, size_t max_length) const {
  std::string text;
  for (size_t i = 0; i < max_length; ++i) {
    char c;
    Read(address + i, &c, 1);
    if (!c) break;
    text += c;
  }
  return text;
}

uint32_t Emulator::Allocate(uint32_t size, uint32_t align) {
  const uint32_t start = (heap_next_ + align - 1) & ~(align - 1);
  if (start < heap_next_ || size > layout::kHeap + layout::kHeapSize - start)
    throw HostError(ErrorKind::kResourceLimit, "host memory exhausted");
  heap_next_ = start + size;
  return start;
}

uint32_t Emulator::AddStub(int argument_words, bool callee_pops, StubHandler handler) {
  const uint32_t address = layout::kStubs + kStubSpacing * stubs_.size();
  if (address + kStubSpacing > layout::kStubs + layout::kStubsSize)
    throw HostError(ErrorKind::kResourceLimit, "too many stubs");
  const uint16_t pop = callee_pops ? uint16_t(4 * argument_words) : 0;
  const uint8_t ret_n[] = {0xC2, uint8_t(pop), uint8_t(pop >> 8)};
  const uint8_t ret[] = {0xC3};
  if (pop)
    Write(address, ret_n, sizeof ret_n);
  else
    Write(address, ret, sizeof ret);
  stubs_.push_back({std::move(handler)});
  return address;
}

uint32_t Emulator::AddCode(std::span<const uint8_t> code) {
  const uint32_t address = host_code_next_;
  if (code.size() > layout::kHostCode + 0x1000 - address)
    throw HostError(ErrorKind::kResourceLimit, "host code area full");
  Write(address, code.data(), code.size());
  host_code_next_ = (address + code.size() + 15) & ~15u;
  return address;
}

uint32_t Emulator::ReadRegister(int reg) const {
  uint32_t v = 0;
  uc_reg_read(uc_, reg, &v);
  return v;
}

void Emulator::WriteRegister(int reg, uint32_t value) { uc_reg_write(uc_, reg, &value); }

void Emulator::SetFpuControlWord(uint16_t value) {
  uint32_t v = value;
  uc_reg_write(uc_, UC_X86_REG_FPCW, &v);
}

uint16_t Emulator::fpu_control_word() const { return uint16_t(ReadRegister(UC_X86_REG_FPCW)); }

void Emulator::SetMxcsr(uint32_t value) { uc_reg_write(uc_, UC_X86_REG_MXCSR, &value); }

uint32_t Emulator::mxcsr() const { return ReadRegister(UC_X86_REG_MXCSR); }

void Emulator::Flush() { uc_ctl_flush_tlb(uc_); }

void Emulator::SetInstructionCounting(bool on) {
  if (on == instruction_counting()) return;
  if (on) {
    uc_hook hook;
    Check(uc_hook_add(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(&OnInstruction), this, 1, 0),
          "counting hook");
    count_hook_ = hook;
  } else {
    uc_hook_del(uc_, count_hook_);
    count_hook_ = 0;
  }
  Flush();
}

void Emulator::SetAccessObserver(uint32_t begin, uint32_t end, AccessObserver observer) {
  const bool had_hook = access_hook_ != 0;
  if (access_hook_) {
    uc_hook_del(uc_, access_hook_);
    access_hook_ = 0;
  }
  observer_ = std::move(observer);
  if (!observer_ && !had_hook) return;  // nothing translated depends on it
  if (observer_ && begin < end) {
    uc_hook hook;
    Check(uc_hook_add(uc_, &hook, UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE,
                      reinterpret_cast<void*>(&OnAccess), this, begin, end - 1),
          "access hook");
    access_hook_ = hook;
  }
  Flush();
}

void Emulator::Fail(ErrorKind kind, std::string message) {
  if (!failed_) {
    failed_ = true;
    fail_kind_ = kind;
    fail_message_ = std::move(message);
  }
  uc_emu_stop(uc_);
}

void Emulator::Charge(uint64_t blocks) {
  if (blocks > instruction_limit_ - std::min(blocks_, instruction_limit_)) {
    blocks_ = instruction_limit_ + 1;
    throw HostError(ErrorKind::kRunaway, RunawayMessage("in host work it asked for, called from " +
                                                        Hex(ReadWord(ReadRegister(UC_X86_REG_ESP)))));
  }
  blocks_ += blocks;
}

void Emulator::RequireAccess(uint32_t address, uint64_t size, uint32_t protection, const char* what) const {
  const uint64_t end = uint64_t(address) + size;
  bool covered = end <= 0x100000000ull;
  uc_mem_region* regions = nullptr;
  uint32_t count = 0;
  if (covered && size && uc_mem_regions(uc_, &regions, &count) == UC_ERR_OK) {
    for (uint64_t at = address; covered && at < end;) {
      covered = false;
      for (uint32_t i = 0; i < count; ++i) {
        if (at < regions[i].begin || at > regions[i].end) continue;
        covered = (regions[i].perms & protection) == protection;
        at = regions[i].end + 1;
        break;
      }
    }
    uc_free(regions);
  }
  if (!covered)
    throw HostError(ErrorKind::kMemoryFault, std::string("module passed the host a bad ") + what + ": " +
                                                 std::to_string(size) + " bytes at " + Hex(address) + " are not " +
                                                 (protection & kWrite ? "writable" : "readable") + " memory");
}

std::string Emulator::RunawayMessage(const std::string& where) const {
  return "module function at " + Hex(call_function_) + " ran away: instruction limit of " +
         std::to_string(instruction_limit_) + " reached " + where;
}

// Whatever a hook or stub throws ends the running call here, as a HostError
// the call rethrows: no exception may unwind through the emulator's C frames.
void Emulator::FailWithCurrentException() {
  try {
    throw;
  } catch (const HostError& error) {
    if (error.kind() == ErrorKind::kUsage)  // the host misused its own interface
      Fail(ErrorKind::kInternal, std::string("host fault while serving the module: ") + error.what());
    else
      Fail(error.kind(), error.what());
  } catch (const std::bad_alloc&) {
    Fail(ErrorKind::kResourceLimit, "the host ran out of memory serving the module");
  } catch (const std::length_error& error) {
    Fail(ErrorKind::kResourceLimit, std::string("the module asked the host for an object too large (") +
                                        error.what() + ")");
  } catch (const std::exception& error) {
    Fail(ErrorKind::kInternal, std::string("host fault while serving the module: ") + error.what());
  } catch (...) {
    Fail(ErrorKind::kInternal, "host fault while serving the module");
  }
}

template <typename Hook>
void Emulator::Guarded(Hook&& hook) noexcept {
  try {
    try {
      hook();
    } catch (...) {
      FailWithCurrentException();
    }
  } catch (...) {  // not even the message could be made
    failed_ = true;
    fail_kind_ = ErrorKind::kResourceLimit;
    uc_emu_stop(uc_);
  }
}

void Emulator::OnStub(uc_struct*, uint64_t address, uint32_t, void* self) {
  auto* e = static_cast<Emulator*>(self);
  const uint64_t offset = address - layout::kStubs;
  if (offset % kStubSpacing || offset / kStubSpacing >= e->stubs_.size()) return;
  e->Guarded([&] {
    StubFrame frame(*e, e->ReadRegister(UC_X86_REG_ESP));
    e->stubs_[offset / kStubSpacing].handler(frame);
  });
}

void Emulator::OnBlock(uc_struct*, uint64_t address, uint32_t, void* self) {
  auto* e = static_cast<Emulator*>(self);
  if (++e->blocks_ > e->instruction_limit_ && !e->failed_)
    e->Guarded([&] { e->Fail(ErrorKind::kRunaway, e->RunawayMessage("at " + Hex(address))); });
}

void Emulator::OnInstruction(uc_struct*, uint64_t, uint32_t, void* self) {
  ++static_cast<Emulator*>(self)->instructions_;
}

bool Emulator::OnInvalidMemory(uc_struct*, int type, uint64_t address, int size, int64_t, void* self) {
  auto* e = static_cast<Emulator*>(self);
  e->Guarded([&] { e->FailInvalidMemory(type, address, size); });
  return false;
}

void Emulator::FailInvalidMemory(int type, uint64_t address, int size) {
  const char* what = "accessed";
  switch (type) {
    case UC_MEM_READ_UNMAPPED: what = "read unmapped memory"; break;
    case UC_MEM_WRITE_UNMAPPED: what = "wrote to unmapped memory"; break;
    case UC_MEM_FETCH_UNMAPPED: what = "jumped to unmapped memory"; break;
    case UC_MEM_WRITE_PROT: what = "wrote to read-only memory"; break;
    case UC_MEM_READ_PROT: what = "read protected memory"; break;
    case UC_MEM_FETCH_PROT: what = "jumped to non-executable memory"; break;
  }
  Fail(ErrorKind::kMemoryFault, "module code at " + Hex(ReadRegister(UC_X86_REG_EIP)) + " " + what + " at " +
                                    Hex(address) + " (" + std::to_string(size) + " bytes)");
}

void Emulator::OnAccess(uc_struct*, int type, uint64_t address, int size, int64_t, void* self) {
  auto* e = static_cast<Emulator*>(self);
  e->Guarded([&] { e->observer_(uint32_t(address), uint32_t(size), type == UC_MEM_WRITE); });
}

void Emulator::OnInterrupt(uc_struct*, uint32_t number, void* self) {
  auto* e = static_cast<Emulator*>(self);
  e->Guarded([&] {
    e->Fail(ErrorKind::kCpuException, "module code raised CPU exception " + std::to_string(number) + " at " +
                                          Hex(e->ReadRegister(UC_X86_REG_EIP)));
  });
}

void Emulator::ResetAfterFailure() {
  uint32_t empty_tags = kEmptyTags, status = 0;
  uc_reg_write(uc_, UC_X86_REG_FPTAG, &empty_tags);
  uc_reg_write(uc_, UC_X86_REG_FPSW, &status);
}

void Emulator::RunCall(uint32_t function, std::span<const uint32_t> args, uint32_t pad) {
  const uint32_t frame_top = kCallFrameBase + 4 * uint32_t(args.size());
  uint32_t start = function;
  if (args.size() <= kRegisterArgs) {
    int regs[kRegisterArgs + 2];
    uint32_t values[kRegisterArgs + 2];
    void* pointers[kRegisterArgs + 2];
    for (size_t i = 0; i < args.size(); ++i) {
      regs[i] = kArgumentRegister[i];
      values[i] = args[i];
    }
    const size_t n = args.size();
    regs[n] = UC_X86_REG_EBP;
    values[n] = function;
    regs[n + 1] = UC_X86_REG_ESP;
    values[n + 1] = frame_top;
    for (size_t i = 0; i < n + 2; ++i) pointers[i] = &values[i];
    uc_reg_write_batch(uc_, regs, pointers, int(n + 2));
    start = trampolines_[pad == double_pad_][n];
  } else {
    std::vector<uint32_t> frame(args.size() + 1);
    frame[0] = pad;
    std::copy(args.begin(), args.end(), frame.begin() + 1);
    Write(kCallFrameBase - 4, frame.data(), 4 * frame.size());
    WriteRegister(UC_X86_REG_ESP, kCallFrameBase - 4);
  }
  blocks_ = 0;
  instructions_ = 0;
  failed_ = false;
  fail_message_.clear();
  call_function_ = function;
  const uint16_t control_before = fpu_control_word();
  const uc_err err = uc_emu_start(uc_, start, 0, 0, 0);
  if (failed_) {
    ResetAfterFailure();
    throw HostError(fail_kind_, fail_message_.empty() ? "the host ran out of memory serving the module" : fail_message_);
  }
  if (err == UC_ERR_INSN_INVALID) {
    ResetAfterFailure();
    throw HostError(ErrorKind::kCpuException, "module code at " + Hex(ReadRegister(UC_X86_REG_EIP)) +
                                                  " executed an invalid instruction");
  }
  if (err != UC_ERR_OK) {
    ResetAfterFailure();
    throw HostError(ErrorKind::kCpuException, "module function at " + Hex(function) + " failed: " +
                                                  uc_strerror(err) + " at " +
                                                  Hex(ReadRegister(UC_X86_REG_EIP)));
  }
  int regs[5] = {UC_X86_REG_EIP, UC_X86_REG_ESP, UC_X86_REG_FPSW, UC_X86_REG_FPTAG, UC_X86_REG_FPCW};
  uint32_t values[5] = {};
  void* pointers[5] = {&values[0], &values[1], &values[2], &values[3], &values[4]};
  uc_reg_read_batch(uc_, regs, pointers, 5);
  const uint32_t eip = values[0];
  if (eip != pad + (pad == word_pad_ ? 1 : 7)) {
    ResetAfterFailure();
    throw HostError(ErrorKind::kCpuException,
                    "module function at " + Hex(function) + " stopped at " + Hex(eip) +
                        " instead of returning to the host");
  }
  const int32_t stack_error = int32_t(values[1] - frame_top);
  if (stack_error != 0) {
    ResetAfterFailure();
    throw HostError(ErrorKind::kCallingConvention,
                    "module function at " + Hex(function) + " returned with the stack off by " +
                        std::to_string(stack_error) + " bytes (it must remove its " +
                        std::to_string(4 * args.size()) + " argument bytes)");
  }
  const uint32_t top = (values[2] >> 11) & 7;
  if (top != 0 || (values[3] & 0xFFFF) != kEmptyTags) {
    ResetAfterFailure();
    throw HostError(ErrorKind::kCallingConvention,
                    "module function at " + Hex(function) + " left the x87 stack unbalanced (" +
                        (pad == word_pad_ ? "expected it empty" : "expected exactly the result") +
                        ", TOP " + std::to_string(top) + ", tags " + Hex16(values[3]) + ")");
  }
  // The host's precision, rounding and exception masks are the host's: a
  // module that changes them must put them back before it returns.
  const uint16_t control_after = uint16_t(values[4]);
  if (control_after != control_before) {
    SetFpuControlWord(control_before);
    throw HostError(ErrorKind::kCallingConvention,
                    "module function at " + Hex(function) + " left the x87 control word at " +
                        Hex16(control_after) + " instead of restoring the host's " + Hex16(control_before));
  }
}

uint32_t Emulator::CallWord(uint32_t function, std::span<const uint32_t> args) {
  RunCall(function, args, word_pad_);
  return ReadRegister(UC_X86_REG_EAX);
}

double Emulator::CallDouble(uint32_t function, std::span<const uint32_t> args) {
  RunCall(function, args, double_pad_);
  return ReadDouble(pad_result_);
}

}  // namespace gauge
