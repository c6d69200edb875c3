#include "crt_stubs.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <vector>

#include "crt_format.h"
#include "module_text.h"

namespace gauge {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// _initterm(begin, end): calls every non-null function pointer in [begin, end).
// Emulated code, since the functions it calls are module code.
constexpr uint8_t kInitTerm[] = {
    0x56,                    // push esi
    0x57,                    // push edi
    0x8B, 0x74, 0x24, 0x0C,  // mov esi, [esp+12]
    0x8B, 0x7C, 0x24, 0x10,  // mov edi, [esp+16]
    0x39, 0xFE,              // loop: cmp esi, edi
    0x73, 0x0D,              // jae done
    0x8B, 0x06,              // mov eax, [esi]
    0x85, 0xC0,              // test eax, eax
    0x74, 0x02,              // jz next
    0xFF, 0xD0,              // call eax
    0x83, 0xC6, 0x04,        // next: add esi, 4
    0xEB, 0xEF,              // jmp loop
    0x5F,                    // done: pop edi
    0x5E,                    // pop esi
    0xC3,                    // ret
};

constexpr uint32_t kMaxString = 1 << 20;
// Work done for the module (bytes scanned, copied, converted or written) is
// charged to the running call as one translated block per this many bytes,
// about what emulated code doing the same work would execute.
constexpr uint64_t kBytesPerBlock = 16;
// Stubs move memory in pieces of this size, never in one buffer as large as
// the module asks for.
constexpr uint32_t kChunk = 4096;

void ChargeBytes(Emulator& e, uint64_t bytes) { e.Charge(1 + bytes / kBytesPerBlock); }

// Module bytes from an address on, read in small pieces that never cross a
// page (a page is mapped as a whole), each charged as it is read.
class ByteReader {
 public:
  ByteReader(Emulator& e, uint32_t address) : e_(e), next_(address) {}
  uint8_t Next() {
    if (at_ == size_) {
      size_ = std::min(kPiece, kChunk - next_ % kChunk);
      ChargeBytes(e_, size_);
      e_.Read(next_, chunk_, size_);
      next_ += size_;
      at_ = 0;
    }
    return chunk_[at_++];
  }

 private:
  Emulator& e_;
  uint32_t next_;
  uint32_t at_ = 0, size_ = 0;
  static constexpr uint32_t kPiece = 256;
  uint8_t chunk_[kPiece];
};

// Length in units of a zero-terminated string of 1- or 2-byte units.
uint32_t StrLen(Emulator& e, uint32_t address, uint32_t unit) {
  ByteReader text(e, address);
  for (uint32_t n = 0; n < kMaxString; ++n) {
    uint32_t c = text.Next();
    if (unit == 2) c |= uint32_t(text.Next()) << 8;
    if (!c) return n;
  }
  throw HostError(ErrorKind::kMemoryFault, "module passed an unterminated string");
}

// memmove: ranges checked, then copied piece by piece (backwards when the
// target overlaps the source from above).
void Copy(Emulator& e, uint32_t target, uint32_t source, uint64_t size) {
  e.RequireAccess(source, size, kRead, "copy source");
  e.RequireAccess(target, size, kWrite, "copy target");
  ChargeBytes(e, size);
  const bool backwards = target > source && target - source < size;
  uint8_t chunk[kChunk];
  for (uint64_t done = 0; done < size;) {
    const uint32_t n = uint32_t(std::min<uint64_t>(kChunk, size - done));
    const uint32_t offset = uint32_t(backwards ? size - done - n : done);
    e.Read(source + offset, chunk, n);
    e.Write(target + offset, chunk, n);
    done += n;
  }
}

void Fill(Emulator& e, uint32_t target, uint8_t value, uint64_t size) {
  e.RequireAccess(target, size, kWrite, "fill target");
  ChargeBytes(e, size);
  uint8_t chunk[kChunk];
  std::memset(chunk, value, sizeof chunk);
  for (uint64_t done = 0; done < size;) {
    const uint32_t n = uint32_t(std::min<uint64_t>(kChunk, size - done));
    e.Write(target + uint32_t(done), chunk, n);
    done += n;
  }
}

// MultiByteToWideChar and WideCharToMultiByte: (code page, flags, source,
// source count or -1, target, target room, ...). One byte per character, as
// in code page 1252's first 256 code points; `from` and `to` are unit sizes.
void ConvertText(Emulator& e, StubFrame& f, uint32_t from, uint32_t to) {
  const uint32_t src = f.arg(2), dst = f.arg(4), room = f.arg(5);
  const uint32_t n = f.arg(3) == 0xFFFFFFFF ? StrLen(e, src, from) + 1 : f.arg(3);
  if (room == 0) return f.set_result(n);
  if (room < n) return f.set_result(0);
  e.RequireAccess(src, uint64_t(n) * from, kRead, "text to convert");
  e.RequireAccess(dst, uint64_t(n) * to, kWrite, "conversion target");
  ChargeBytes(e, uint64_t(n) * (from + to));
  constexpr uint32_t kUnits = kChunk / 2;
  uint8_t in[kChunk], out[kChunk];
  for (uint32_t done = 0; done < n;) {
    const uint32_t count = std::min(kUnits, n - done);
    e.Read(src + from * done, in, from * count);
    for (uint32_t i = 0; i < count; ++i) {
      uint16_t c = 0;
      std::memcpy(&c, in + from * i, from);
      if (c > 0xFF) c = '?';
      std::memcpy(out + to * i, &c, to);
    }
    e.Write(dst + to * done, out, to * count);
    done += count;
  }
  f.set_result(n);
}

uint32_t ProtectionToPage(uint32_t protection) {
  const bool w = protection & kWrite, x = protection & kExecute;
  if (!(protection & kRead)) return 0x01;      // PAGE_NOACCESS
  if (x) return w ? 0x40 : 0x20;               // PAGE_EXECUTE_READWRITE / _READ
  return w ? 0x04 : 0x02;                      // PAGE_READWRITE / PAGE_READONLY
}

uint32_t PageToProtection(uint32_t page) {
  switch (page & 0xFF) {
    case 0x02: return kRead;
    case 0x04: case 0x08: return kRead | kWrite;
    case 0x10: case 0x20: return kRead | kExecute;
    case 0x40: case 0x80: return kAll;
    default: return 0;
  }
}

}  // namespace

struct CrtStubs::Entry {
  int words;      // argument words
  bool stdcall;   // KERNEL32 functions remove their arguments, msvcrt ones do not
  std::function<void(StubFrame&)> run;
};

CrtStubs::CrtStubs(Emulator& emulator) : emu_(emulator) {}

uint32_t CrtStubs::CString(const std::string& text) {
  auto it = strings_.find(text);
  if (it != strings_.end()) return it->second;
  const uint32_t address = emu_.Allocate(uint32_t(text.size() + 1));
  emu_.Write(address, text.c_str(), text.size() + 1);
  return strings_[text] = address;
}

uint32_t CrtStubs::Malloc(uint32_t size) {
  uint32_t address;
  try {
    address = emu_.Allocate(std::max<uint32_t>(size, 1), 16);
  } catch (const HostError&) {
    return 0;  // host memory exhausted: as malloc says it
  }
  allocations_[address] = size;
  return address;
}

void CrtStubs::KeepOutput(uint32_t address, uint64_t size) {
  const uint64_t kept = std::min<uint64_t>(size, kMaxOutput - output_.size());
  if (kept < size) output_cut_ = true;
  if (!kept) return;
  const size_t at = output_.size();
  output_.resize(at + kept);
  emu_.Read(address, output_.data() + at, kept);
}

std::string CrtStubs::OutputNote() const {
  if (output_.empty()) return "";
  return std::string("; its C run-time output") + (output_cut_ ? " began" : " was") + ": \"" + ModuleText(output_) +
         "\"";
}

uint32_t CrtStubs::MakeStub(const Entry& entry) {
  return emu_.AddStub(entry.words, entry.stdcall, entry.run);
}

uint32_t CrtStubs::MakeData(const std::string& name) {
  if (name == "_iob") return emu_.Allocate(3 * 32);  // stdin, stdout, stderr: opaque FILEs
  const uint32_t address = emu_.Allocate(4);          // __mb_cur_max: one byte per character
  emu_.WriteWord(address, 1);
  return address;
}

uint32_t CrtStubs::Resolve(const std::string& dll, const std::string& name) {
  const std::string key = Lower(dll) + "!" + name;
  if (auto it = bound_.find(key); it != bound_.end()) return it->second;
  Emulator& e = emu_;
  auto result = [](uint32_t v) { return [v](StubFrame& f) { f.set_result(v); }; };
  const std::map<std::string, Entry> table = {
      // KERNEL32: one thread, so critical sections need no locking.
      {"kernel32.dll!InitializeCriticalSection", {1, true, result(0)}},
      {"kernel32.dll!EnterCriticalSection", {1, true, result(0)}},
      {"kernel32.dll!LeaveCriticalSection", {1, true, result(0)}},
      {"kernel32.dll!DeleteCriticalSection", {1, true, result(0)}},
      {"kernel32.dll!GetLastError", {0, true, [this](StubFrame& f) { f.set_result(last_error_); }}},
      {"kernel32.dll!SetLastError", {1, true, [this](StubFrame& f) { last_error_ = f.arg(0); }}},
      {"kernel32.dll!Sleep", {1, true, result(0)}},
      {"kernel32.dll!GetCurrentThreadId", {0, true, result(1)}},
      {"kernel32.dll!GetCurrentProcessId", {0, true, result(1)}},
      // No other library is loaded: only the module itself has a handle.
      {"kernel32.dll!GetModuleHandleA",
       {1, true, [this](StubFrame& f) { f.set_result(f.arg(0) ? 0 : module_base_); }}},
      {"kernel32.dll!GetModuleHandleW",
       {1, true, [this](StubFrame& f) { f.set_result(f.arg(0) ? 0 : module_base_); }}},
      {"kernel32.dll!LoadLibraryA", {1, true, result(0)}},
      {"kernel32.dll!LoadLibraryW", {1, true, result(0)}},
      {"kernel32.dll!FreeLibrary", {1, true, result(1)}},
      {"kernel32.dll!GetProcAddress", {2, true, result(0)}},
      {"kernel32.dll!TlsGetValue", {1, true, result(0)}},
      {"kernel32.dll!IsDBCSLeadByteEx", {2, true, result(0)}},
      {"kernel32.dll!VirtualQuery",
       {3, true,
        [this, &e](StubFrame& f) {
          const uint32_t page = f.arg(0) & ~0xFFFu, info = f.arg(1);
          if (f.arg(2) < 28 || !e.IsMapped(page, 1)) return f.set_result(0);
          const bool in_module = page - module_base_ < module_size_;
          const uint32_t words[7] = {page, in_module ? module_base_ : page, 0x80, 0x1000, 0x1000,
                                     ProtectionToPage(e.ProtectionAt(page)),
                                     in_module ? 0x1000000u : 0x20000u};
          e.Write(info, words, sizeof words);
          f.set_result(28);
        }}},
      {"kernel32.dll!VirtualProtect",
       {4, true,
        [this, &e](StubFrame& f) {
          const uint32_t begin = f.arg(0) & ~0xFFFu, end = (f.arg(0) + f.arg(1) + 0xFFF) & ~0xFFFu;
          const uint32_t protection = PageToProtection(f.arg(2));
          if (begin - module_base_ >= module_size_ || end - module_base_ > module_size_ || !protection)
            return f.set_result(0);
          if (f.arg(3)) e.WriteWord(f.arg(3), ProtectionToPage(e.ProtectionAt(begin)));
          e.Protect(begin, end - begin, protection);
          f.set_result(1);
        }}},
      {"kernel32.dll!MultiByteToWideChar", {6, true, [&e](StubFrame& f) { ConvertText(e, f, 1, 2); }}},
      {"kernel32.dll!WideCharToMultiByte", {8, true, [&e](StubFrame& f) { ConvertText(e, f, 2, 1); }}},
      // msvcrt: the C run-time, caller removes the arguments.
      {"msvcrt.dll!_lock", {1, false, result(0)}},
      {"msvcrt.dll!_unlock", {1, false, result(0)}},
      {"msvcrt.dll!abort",
       {0, false, [this, &e](StubFrame&) { e.Fail(ErrorKind::kModuleAbort, "module called abort" + OutputNote()); }}},
      {"msvcrt.dll!_amsg_exit",
       {1, false,
        [this, &e](StubFrame& f) {
          e.Fail(ErrorKind::kModuleAbort,
                 "module's run-time stopped it (_amsg_exit " + std::to_string(f.arg(0)) + ")" + OutputNote());
        }}},
      {"msvcrt.dll!malloc", {1, false, [this](StubFrame& f) { f.set_result(Malloc(f.arg(0))); }}},
      {"msvcrt.dll!calloc",
       {2, false,
        [this](StubFrame& f) {
          const uint64_t size = uint64_t(f.arg(0)) * f.arg(1);
          if (size > layout::kHeapSize) return f.set_result(0);
          f.set_result(Malloc(uint32_t(size)));  // host memory starts zeroed
        }}},
      {"msvcrt.dll!free", {1, false, [this](StubFrame& f) { allocations_.erase(f.arg(0)); }}},
      {"msvcrt.dll!realloc",
       {2, false,
        [this, &e](StubFrame& f) {
          const uint32_t old = f.arg(0), size = f.arg(1);
          const uint32_t fresh = Malloc(size);
          if (!fresh) return f.set_result(0);  // the old block stays
          if (auto it = allocations_.find(old); it != allocations_.end()) {
            Copy(e, fresh, old, std::min(it->second, size));
            allocations_.erase(it);
          }
          f.set_result(fresh);
        }}},
      {"msvcrt.dll!strlen", {1, false, [&e](StubFrame& f) { f.set_result(StrLen(e, f.arg(0), 1)); }}},
      {"msvcrt.dll!wcslen", {1, false, [&e](StubFrame& f) { f.set_result(StrLen(e, f.arg(0), 2)); }}},
      {"msvcrt.dll!strncmp",
       {3, false,
        [&e](StubFrame& f) {
          int r = 0;
          ByteReader left(e, f.arg(0)), right(e, f.arg(1));
          for (uint32_t i = 0; i < f.arg(2) && r == 0; ++i) {
            const uint8_t a = left.Next(), b = right.Next();
            r = int(a) - int(b);
            if (!a) break;
          }
          f.set_result(uint32_t(r));
        }}},
      {"msvcrt.dll!strchr",
       {2, false,
        [&e](StubFrame& f) {
          const uint8_t wanted = uint8_t(f.arg(1));
          ByteReader text(e, f.arg(0));
          for (uint32_t p = f.arg(0);; ++p) {
            const uint8_t c = text.Next();
            if (c == wanted) return f.set_result(p);
            if (!c) return f.set_result(0);
          }
        }}},
      {"msvcrt.dll!memcpy",
       {3, false,
        [&e](StubFrame& f) {
          Copy(e, f.arg(0), f.arg(1), f.arg(2));
          f.set_result(f.arg(0));
        }}},
      {"msvcrt.dll!memset",
       {3, false,
        [&e](StubFrame& f) {
          Fill(e, f.arg(0), uint8_t(f.arg(1)), f.arg(2));
          f.set_result(f.arg(0));
        }}},
      {"msvcrt.dll!atoi",
       {1, false, [&e](StubFrame& f) { f.set_result(uint32_t(std::atoi(e.ReadString(f.arg(0), 64).c_str()))); }}},
      {"msvcrt.dll!fwrite",
       {4, false,
        [this, &e](StubFrame& f) {
          const uint64_t size = uint64_t(f.arg(1)) * f.arg(2);
          e.RequireAccess(f.arg(0), size, kRead, "fwrite buffer");
          ChargeBytes(e, size);
          KeepOutput(f.arg(0), size);
          f.set_result(f.arg(2));
        }}},
      {"msvcrt.dll!fputc",
       {2, false,
        [this, &e](StubFrame& f) {
          ChargeBytes(e, 1);
          if (output_.size() < kMaxOutput) output_ += char(f.arg(0));
          else output_cut_ = true;
          f.set_result(f.arg(0) & 0xFF);
        }}},
      {"msvcrt.dll!vfprintf",  // only run-time error reports use it: keep the format
       {3, false,
        [this, &e](StubFrame& f) {
          const uint32_t length = std::min<uint32_t>(StrLen(e, f.arg(1), 1), 4096);
          KeepOutput(f.arg(1), length);
          f.set_result(length);
        }}},
      {"msvcrt.dll!sprintf",
       {2, false,
        [&e](StubFrame& f) {
          const std::string text = FormatLikeSprintf(e, f.arg(1), [&f](int i) { return f.arg(2 + i); });
          e.RequireAccess(f.arg(0), text.size() + 1, kWrite, "sprintf buffer");
          ChargeBytes(e, text.size());
          e.Write(f.arg(0), text.c_str(), text.size() + 1);
          f.set_result(uint32_t(text.size()));
        }}},
      {"msvcrt.dll!localeconv",
       {0, false,
        [this, &e](StubFrame& f) {
          // lconv: ten string pointers, then eight CHAR_MAX bytes; made once.
          if (!lconv_) {
            lconv_ = e.Allocate(48);
            for (int i = 0; i < 10; ++i) e.WriteWord(lconv_ + 4 * i, CString(i == 0 ? "." : ""));
            const uint8_t none[8] = {127, 127, 127, 127, 127, 127, 127, 127};
            e.Write(lconv_ + 40, none, sizeof none);
          }
          f.set_result(lconv_);
        }}},
      {"msvcrt.dll!setlocale", {2, false, [this](StubFrame& f) { f.set_result(CString("C")); }}},
      {"msvcrt.dll!strerror", {1, false, [this](StubFrame& f) { f.set_result(CString("error")); }}},
      {"msvcrt.dll!_errno",
       {0, false, [this](StubFrame& f) { f.set_result(Resolve("msvcrt.dll", "errno variable")); }}},
      {"msvcrt.dll!___mb_cur_max_func", {0, false, result(1)}},
      {"msvcrt.dll!___lc_codepage_func", {0, false, result(0)}},
      {"msvcrt.dll!__iob_func",
       {0, false, [this](StubFrame& f) { f.set_result(Resolve("msvcrt.dll", "_iob")); }}},
  };
  uint32_t address;
  if (key == "msvcrt.dll!_iob" || key == "msvcrt.dll!__mb_cur_max") {
    address = MakeData(name);
  } else if (key == "msvcrt.dll!errno variable") {
    address = emu_.Allocate(4);
  } else if (key == "msvcrt.dll!_initterm") {
    address = emu_.AddCode(kInitTerm);
  } else if (auto it = table.find(key); it != table.end()) {
    address = MakeStub(it->second);
  } else {
    throw HostError(ErrorKind::kLoad, "module imports " + ModuleText(dll + "!" + name) +
                                          ", which the host does not provide");
  }
  return bound_[key] = address;
}

}  // namespace gauge
