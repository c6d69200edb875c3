// The emulator boundary: whatever a stub or hook throws ends the call as a
// HostError of a clear kind; work that stubs and services do for a module
// is charged against the call's run budget like its own translated blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <stdexcept>

#include "crt_stubs.h"
#include "emulator.h"
#include "services.h"

namespace {

using gauge::CrtStubs;
using gauge::Emulator;
using gauge::ErrorKind;
using gauge::HostError;
using gauge::StubFrame;

void Emit(std::vector<uint8_t>& code, std::initializer_list<uint8_t> bytes) {
  for (const uint8_t b : bytes) code.push_back(b);
}

void Put32(std::vector<uint8_t>& code, uint32_t v) {
  for (int i = 0; i < 4; ++i) code.push_back(uint8_t(v >> (8 * i)));
}

// Emulated code that calls `stub` (C convention) with its own `words`
// argument words and returns removing them, as a module function would.
uint32_t CallerOf(Emulator& e, uint32_t stub, uint8_t words) {
  std::vector<uint8_t> code;
  for (int i = 0; i < words; ++i) Emit(code, {0xFF, 0x74, 0x24, uint8_t(4 * words)});  // push [esp+4n]
  code.push_back(0xB8);  // mov eax, stub
  Put32(code, stub);
  Emit(code, {0xFF, 0xD0});  // call eax
  if (words) Emit(code, {0x83, 0xC4, uint8_t(4 * words)});  // add esp, 4n
  Emit(code, {0xC2, uint8_t(4 * words), 0x00});  // ret 4n
  return e.AddCode(code);
}

// Emulated code that calls `stub` (no arguments) `times` times in a loop.
uint32_t LoopOf(Emulator& e, uint32_t stub, uint32_t times) {
  std::vector<uint8_t> code = {0xB9};  // mov ecx, times
  Put32(code, times);
  Emit(code, {0x51, 0xB8});  // loop: push ecx; mov eax, stub
  Put32(code, stub);
  Emit(code, {0xFF, 0xD0, 0x59, 0x49, 0x75, 0xF4, 0xC3});  // call eax; pop ecx; dec ecx; jnz loop; ret
  return e.AddCode(code);
}

HostError CallFails(Emulator& e, uint32_t function, std::initializer_list<uint32_t> args = {}) {
  try {
    e.CallWord(function, std::span<const uint32_t>(args.begin(), args.size()));
  } catch (const HostError& error) {
    return error;
  }
  ADD_FAILURE() << "the call did not fail";
  return HostError(ErrorKind::kUsage, "");
}

struct Thrown {
  const char* name;
  std::function<void(Emulator&)> thrower;
  ErrorKind kind;
  const char* message;
};

const Thrown kThrown[] = {
    {"bad_alloc", [](Emulator&) { throw std::bad_alloc(); }, ErrorKind::kResourceLimit, "ran out of memory"},
    {"length_error", [](Emulator&) { std::string().reserve(std::string().max_size() + 1); }, ErrorKind::kResourceLimit,
     "too large"},
    {"runtime_error", [](Emulator&) { throw std::runtime_error("broken"); }, ErrorKind::kInternal, "host fault"},
    {"not an exception", [](Emulator&) { throw 42; }, ErrorKind::kInternal, "host fault"},
    {"a host read of unmapped memory", [](Emulator& e) { e.ReadWord(0x10); }, ErrorKind::kMemoryFault,
     "host read of unmapped memory at 0x00000010"},
    {"a host write to unmapped memory", [](Emulator& e) { e.WriteWord(0x10, 0); }, ErrorKind::kMemoryFault,
     "host write to unmapped memory at 0x00000010"},
    {"a usage error of the host's own", [](Emulator&) { throw HostError(ErrorKind::kUsage, "no such table"); },
     ErrorKind::kInternal, "host fault while serving the module: no such table"},
    {"host memory exhausted", [](Emulator& e) { e.Allocate(0x7FFFFFFF); }, ErrorKind::kResourceLimit,
     "host memory exhausted"},
    {"a module abort", [](Emulator&) { throw HostError(ErrorKind::kModuleAbort, "stopped"); }, ErrorKind::kModuleAbort,
     "stopped"},
};

TEST(EmulatorBoundary, WhatAStubThrowsBecomesAHostErrorOfAClearKind) {
  for (const Thrown& t : kThrown) {
    SCOPED_TRACE(t.name);
    Emulator e;
    const uint32_t stub = e.AddStub(0, false, [&](StubFrame&) { t.thrower(e); });
    const uint32_t ok = e.AddStub(0, false, [](StubFrame& f) { f.set_result(7); });
    const HostError error = CallFails(e, CallerOf(e, stub, 0));
    EXPECT_EQ(error.kind(), t.kind) << error.what();
    EXPECT_NE(std::string(error.what()).find(t.message), std::string::npos) << error.what();
    EXPECT_EQ(e.CallWord(CallerOf(e, ok, 0), {}), 7u) << "the emulator works on after the failure";
  }
}

TEST(EmulatorBoundary, WhatAnAccessObserverThrowsBecomesAHostError) {
  Emulator e;
  const uint32_t data = e.Allocate(16);
  std::vector<uint8_t> code = {0xA1};  // mov eax, [data]
  Put32(code, data);
  code.push_back(0xC3);
  const uint32_t read = e.AddCode(code);
  e.SetAccessObserver(data, data + 16, [](uint32_t, uint32_t, bool) { throw std::bad_alloc(); });
  EXPECT_EQ(CallFails(e, read).kind(), ErrorKind::kResourceLimit);
}

TEST(RunBudget, StubWorkCountsWithTheCallsOwnBlocks) {
  Emulator e;
  int calls = 0;
  const uint32_t stub = e.AddStub(0, false, [&](StubFrame& f) {
    ++calls;
    f.emulator().Charge(1000);
  });
  e.SetInstructionLimit(100000);
  e.CallWord(LoopOf(e, stub, 10), {});
  EXPECT_EQ(calls, 10);
  EXPECT_GE(e.budget_used(), 10000u);
  EXPECT_LT(e.budget_used(), 10000u + 10 * 8) << "a few blocks per turn of the loop";

  // The same loop within a budget of 5000: the fifth charge spends it.
  calls = 0;
  e.SetInstructionLimit(5000);
  const HostError error = CallFails(e, LoopOf(e, stub, 10));
  EXPECT_EQ(error.kind(), ErrorKind::kRunaway);
  EXPECT_NE(std::string(error.what()).find("instruction limit of 5000 reached in host work"), std::string::npos)
      << error.what();
  EXPECT_EQ(calls, 5);
}

// A run-time stub called through emulated code with the given arguments;
// returns the budget the call used.
struct Crt {
  Emulator e;
  CrtStubs stubs{e};
  uint64_t Call(const char* name, std::initializer_list<uint32_t> args, uint32_t* result = nullptr) {
    const uint32_t caller = CallerOf(e, stubs.Resolve("msvcrt.dll", name), uint8_t(args.size()));
    const uint32_t r = e.CallWord(caller, std::span<const uint32_t>(args.begin(), args.size()));
    if (result) *result = r;
    return e.budget_used();
  }
  uint32_t Text(uint32_t length, char fill) {
    const uint32_t at = e.Allocate(length + 1);
    const std::string text(length, fill);
    e.Write(at, text.c_str(), length + 1);
    return at;
  }
};

TEST(RunBudget, RunTimeStubsAreChargedByTheBytesTheyTouch) {
  Crt crt;
  constexpr uint32_t kLong = 64 * 1024, kShort = 1024;
  const uint32_t long_text = crt.Text(kLong, 'x'), short_text = crt.Text(kShort, 'x');
  uint32_t length = 0;
  const uint64_t long_cost = crt.Call("strlen", {long_text}, &length);
  EXPECT_EQ(length, kLong);
  const uint64_t short_cost = crt.Call("strlen", {short_text});
  // One block per 16 bytes scanned, read 256 bytes at a time.
  EXPECT_GE(long_cost, kLong / 16);
  EXPECT_LT(long_cost, kLong / 16 + kLong / 256 + 64);
  EXPECT_LT(short_cost, long_cost / 16);
  const uint32_t target = crt.e.Allocate(kLong);
  EXPECT_GE(crt.Call("memcpy", {target, long_text, kLong}), kLong / 16);
  EXPECT_GE(crt.Call("memset", {target, 0, kLong}), kLong / 16);
  EXPECT_GE(crt.Call("strchr", {long_text, 'y'}), kLong / 16);

  // Within a budget smaller than the work, the stub stops the call.
  crt.e.SetInstructionLimit(kLong / 32);
  EXPECT_EQ(CallFails(crt.e, CallerOf(crt.e, crt.stubs.Resolve("msvcrt.dll", "strlen"), 1), {long_text}).kind(),
            ErrorKind::kRunaway);
}

TEST(RunBudget, RangesAreCheckedBeforeAnyWork) {
  Crt crt;
  const uint32_t buffer = crt.e.Allocate(64);
  const uint32_t memset_caller = CallerOf(crt.e, crt.stubs.Resolve("msvcrt.dll", "memset"), 3);
  const HostError huge = CallFails(crt.e, memset_caller, {buffer, 0, 0xFFFFFFF0u});
  EXPECT_EQ(huge.kind(), ErrorKind::kMemoryFault);
  EXPECT_NE(std::string(huge.what()).find("not writable"), std::string::npos) << huge.what();
  EXPECT_LT(crt.e.budget_used(), 16u) << "refused before it was charged or done";
  // Host code is mapped, but not the module's to write.
  EXPECT_EQ(CallFails(crt.e, memset_caller, {gauge::layout::kStubs, 0, 16}).kind(), ErrorKind::kMemoryFault);
}

TEST(RunBudget, OutputIsKeptUpToItsCapAndChargedInFull) {
  Crt crt;
  constexpr uint32_t kSize = 10000;
  const uint32_t text = crt.Text(kSize, 'o');
  const uint64_t cost = crt.Call("fwrite", {text, 1, kSize, 0});
  EXPECT_GE(cost, kSize / 16);
  EXPECT_EQ(crt.stubs.output(), std::string(CrtStubs::kMaxOutput, 'o'));
}

TEST(RunBudget, EachRecordedServiceCallIsCharged) {
  Emulator e;
  gauge::Sequence sequence;
  gauge::VariableStore variables;
  gauge::RecordMap records;
  gauge::HostServiceTables services(e, sequence, variables, records);
  const uint32_t variable = e.Allocate(32);
  // loop: push variable; call [table + 4 * ReadVariable]; jmp loop
  std::vector<uint8_t> code = {0x68};
  Put32(code, variable);
  Emit(code, {0xFF, 0x15});
  Put32(code, services.table_address(0) + gauge::layout::kWord * uint32_t(gauge::Service::ReadVariable));
  Emit(code, {0xEB, 0xF3});
  constexpr uint64_t kLimit = 100000;
  e.SetInstructionLimit(kLimit);
  EXPECT_EQ(CallFails(e, e.AddCode(code)).kind(), ErrorKind::kRunaway);
  ASSERT_FALSE(services.calls().empty());
  EXPECT_EQ(services.calls().back().name, "ReadVariable");
  // Uncharged, the loop would record a call every two or three blocks.
  EXPECT_LE(services.calls().size() * 8, kLimit);
}

}  // namespace

// ---- guards: each test fails when the guarded behaviour is broken ---------

// realloc moves the block and keeps its old bytes (up to the smaller size).
TEST(CrtStubsUnit, ReallocKeepsTheOldBytes) {
  Crt crt;
  uint32_t block = 0;
  crt.Call("malloc", {8}, &block);
  ASSERT_NE(block, 0u);
  const uint8_t pattern[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  crt.e.Write(block, pattern, sizeof pattern);
  uint32_t grown = 0;
  crt.Call("realloc", {block, 64}, &grown);
  ASSERT_NE(grown, 0u);
  uint8_t kept[8] = {};
  crt.e.Read(grown, kept, sizeof kept);
  EXPECT_EQ(std::memcmp(kept, pattern, sizeof pattern), 0) << "growing lost the old bytes";
  uint32_t shrunk = 0;
  crt.Call("realloc", {grown, 4}, &shrunk);
  ASSERT_NE(shrunk, 0u);
  uint8_t prefix[4] = {};
  crt.e.Read(shrunk, prefix, sizeof prefix);
  EXPECT_EQ(std::memcmp(prefix, pattern, sizeof prefix), 0) << "shrinking lost the kept bytes";
}

// A stub that pops its own arguments (the services' convention), called
// straight: it sees its arguments and the call leaves the stack balanced.
TEST(EmulatorUnit, AStubThatPopsItsArgumentsBalancesTheStack) {
  Emulator e;
  std::vector<uint32_t> seen;
  const uint32_t stub = e.AddStub(2, true, [&](StubFrame& f) {
    seen = {f.arg(0), f.arg(1)};
    f.set_result(f.arg(0) + f.arg(1));
  });
  EXPECT_EQ(e.CallWord(stub, std::vector<uint32_t>{30, 12}), 42u);
  EXPECT_EQ(seen, (std::vector<uint32_t>{30, 12}));
  EXPECT_EQ(e.CallWord(stub, std::vector<uint32_t>{1, 2}), 3u) << "the next call finds the stack as before";
}

// Calls with more argument words than the trampoline's registers carry:
// every word arrives in order, for a callee that pops them and one that does not.
TEST(EmulatorUnit, CallsWithMoreThanSixArgumentWords) {
  for (const bool callee_pops : {true, false}) {
    SCOPED_TRACE(callee_pops ? "callee pops" : "caller pops");
    Emulator e;
    std::vector<uint32_t> seen;
    const uint32_t stub = e.AddStub(9, callee_pops, [&](StubFrame& f) {
      seen.clear();
      for (int i = 0; i < 9; ++i) seen.push_back(f.arg(i));
      f.set_result(seen.back());
    });
    const std::vector<uint32_t> args = {11, 12, 13, 14, 15, 16, 17, 18, 19};
    const uint32_t function = callee_pops ? stub : CallerOf(e, stub, 9);
    EXPECT_EQ(e.CallWord(function, args), 19u);
    EXPECT_EQ(seen, args);
  }
}
