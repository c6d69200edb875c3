// The stand-in host's public face: one gauge module loaded into the emulated
// CPU and driven the way the host simulator drives it.
//
//   auto session = gauge::GaugeSession::Load("dist/Ostrel_Airspeed.gau");
//   session->SetVariable(61, 120.0);
//   session->Install(0);
//   session->Initialize();
//   std::vector<gauge::ElementSnapshot> chain = session->RunUpdateCycle();
//   std::get<gauge::NeedleState>(chain[1]).result;   // the needle angle
//
// Every failure (bad file, load problem, misbehaving module code) is a
// gauge::HostError with a one-line message and an ErrorKind.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bitmap.h"
#include "crt_stubs.h"
#include "emulator.h"
#include "module_loader.h"
#include "pe_image.h"
#include "records.h"
#include "services.h"

namespace gauge {

struct LoadOptions {
  std::optional<uint32_t> base;  // load address; default: not the preferred base
  bool audit = false;            // record every module access to its own image
  bool count_instructions = false;
  uint64_t instruction_limit = 2'000'000;
  // Store the primary service table's address in ImportTable while loading.
  // Off, the image stays as the module left it until UseServiceTable().
  bool store_service_table = true;
};

// One read or write that module code made inside the module image.
struct AuditEntry {
  uint64_t sequence = 0;  // shared with ServiceCall::sequence
  uint32_t address = 0;
  uint32_t size = 0;
  bool write = false;
  std::string record;  // "element[1] (needle)", or the section name when no record holds it
  std::string field;   // "variable.value", or "+0x1c" into the section
};

struct BitmapResource {
  uint32_t type = 0;  // 2 = bitmap
  uint32_t id = 0;
  uint32_t language = 0;
  uint32_t size = 0;  // bytes of the resource
  std::shared_ptr<const IndexedBitmap> bitmap;  // decoded, when it is an 8-bit bitmap
  std::string decode_error;             // why not, otherwise
  int bits_per_pixel = 0;
};

struct ClickResult {
  bool hit = false;
  int area_index = -1;  // index in the mouse-area list
  uint32_t function = 0;
  uint32_t result = 0;
  std::vector<ServiceCall> events;  // SendEvent calls the mouse function made
};

class GaugeSession {
 public:
  static std::unique_ptr<GaugeSession> Load(const std::string& path, const LoadOptions& options = {});
  // The same for a module already in memory (the PE loader's fuzz target).
  static std::unique_ptr<GaugeSession> LoadBytes(std::vector<uint8_t> file, const LoadOptions& options = {});

  // The module.
  const PeImage& pe() const { return pe_; }
  const LoadedModule& module() const { return module_; }
  uint32_t base() const { return module_.base; }
  uint32_t preferred_base() const { return pe_.image_base(); }
  uint32_t linkage() const { return linkage_; }
  uint32_t import_table() const { return import_table_; }
  uint32_t gauge_header() const { return records_.gauge_header(); }
  uint32_t top_element() const { return records_.top_element(); }
  const RecordMap& records() const { return records_; }
  std::string gauge_name() const;

  // Bitmap resources (type 2), each decoded once, when first asked for, and
  // kept; all of one module's together at most kMaxDecodedBytes.
  static constexpr uint64_t kMaxDecodedBytes = 32u << 20;
  std::vector<BitmapResource> BitmapResources() const;
  std::optional<IndexedBitmap> Bitmap(uint32_t id) const;

  // The emulated CPU and memory: reads, writes, control words, counting.
  Emulator& emulator() { return *emu_; }
  const Emulator& emulator() const { return *emu_; }
  uint32_t CallWord(uint32_t function, std::initializer_list<uint32_t> args);
  double CallDouble(uint32_t function, std::initializer_list<uint32_t> args);
  uint64_t last_instruction_count() const { return emu_->last_instruction_count(); }

  // The entry point (process attach was called at load).
  uint32_t CallEntryPoint(uint32_t reason);

  // Service tables and the calls the module made through them.
  uint32_t service_table(int index) const { return services_->table_address(index); }
  void UseServiceTable(int index);  // stores that table's address in ImportTable
  const std::vector<ServiceCall>& service_calls() const { return services_->calls(); }
  uint64_t next_sequence() const { return sequence_.next; }

  // Host variables, as ReadVariable and the driver deliver them.
  void SetVariable(int32_t id, double value) { variables_[id] = value; }
  double Variable(int32_t id) const;

  // The seven lifecycle routines, through the gauge header.
  void Query();
  void Install(uint32_t host_value = 0);
  void Initialize();
  void Update();
  void Generate(uint32_t host_value = 0);
  void Draw();
  void Kill();
  // One update cycle: GaugeUpdate, every element's value callbacks (after
  // writing the current variable values into their records), GaugeGenerate,
  // GaugeDraw.
  std::vector<ElementSnapshot> RunUpdateCycle(uint32_t generate_value = 0);
  // The value callbacks alone, element by element, and the chain's state.
  std::vector<ElementSnapshot> EvaluateElements();
  // The chain as its records stand, without calling anything.
  std::vector<ElementSnapshot> ElementStates() const;
  // The mouse-area list the module installed (empty before GaugeInstall),
  // up to and including its end-of-list entry.
  std::vector<MouseAreaInfo> MouseAreas() const;
  // The list registered now (empty before GaugeInstall and after GaugeKill):
  // the one clicks go to.
  std::vector<MouseAreaInfo> RegisteredMouseAreas() const;

  // A click on face pixel (x, y): the registered list's child area holding
  // it gets its mouse function called with (x, y).
  ClickResult Click(int32_t x, int32_t y);

  // Memory audit.
  void SetAudit(bool on);
  const std::vector<AuditEntry>& audit() const { return audit_; }
  void ClearLogs();  // forgets recorded service calls and audit entries
  // The record and field at an address of the module image.
  std::optional<NamedAddress> NameAddress(uint32_t address) const { return records_.Name(address); }

 private:
  GaugeSession() = default;
  void Start(PeImage pe, const LoadOptions& options);
  uint32_t HeaderRoutine(uint32_t offset) const;
  void CallRoutine(uint32_t offset, std::initializer_list<uint32_t> args);
  void OnAccess(uint32_t address, uint32_t size, bool write);
  void EvaluateElement(ElementSnapshot& element);
  void EvaluateString(StringState& s);
  std::optional<double> CallValueAt(uint32_t callback_field, uint32_t variable);
  double CallValue(uint32_t callback, uint32_t variable);
  uint32_t TextBuffer(uint32_t element, uint32_t char_count);
  void CheckGuards(const StringState& state) const;

  PeImage pe_;
  std::unique_ptr<Emulator> emu_;
  std::unique_ptr<CrtStubs> stubs_;
  std::unique_ptr<HostServiceTables> services_;
  LoadedModule module_;
  RecordMap records_;
  VariableStore variables_;
  Sequence sequence_;
  std::vector<AuditEntry> audit_;
  uint32_t linkage_ = 0, import_table_ = 0;
  struct TextBufferInfo {
    uint32_t address = 0;
    uint32_t size = 0;
  };
  std::map<uint32_t, TextBufferInfo> text_buffers_;  // string element -> its buffer
  struct Decoded {
    std::shared_ptr<const IndexedBitmap> bitmap;
    std::string error;
  };
  const Decoded& DecodedResource(size_t index) const;
  mutable std::map<size_t, Decoded> decoded_;  // resource index -> its picture
  mutable uint64_t decoded_bytes_ = 0;
};

}  // namespace gauge
