#include "gauge_session.h"

#include <cstring>

#include "record_layout.h"

namespace gauge {
namespace {

constexpr uint32_t kGuardSize = 16;
constexpr uint8_t kGuardByte = 0xCC;
constexpr uint32_t kMaxCharCount = 4096;
constexpr uint32_t kBitmapType = 2;
constexpr uint32_t kMaxListEntries = 1024;  // bounds mouse-area and failure lists

std::string Hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", v);
  return text;
}

// Field offsets inside the element records.
namespace at {
constexpr uint32_t kBitmapId = 4, kPosition = 8, kOrigin = 24, kFailures = 44, kImageFlags = 48;
constexpr uint32_t kNeedleVariable = 60, kNeedleCallback = 88, kNeedlePoint = 104;
constexpr uint32_t kCalibration = 112, kCalibrationCount = 116, kStepLimit = 120;
constexpr uint32_t kVariables = 0x3C, kStringCallbacks = 0xA8, kRealFunction = 0xB4, kText = 0xB8;
constexpr uint32_t kTextSize = 0xC0, kTextColour = 0xD0, kFontFace = 0xF8, kFontWeight = 0x118;
constexpr uint32_t kFontCharset = 0x11C, kTextFormat = 0x120, kCharCount = 0x124;
constexpr uint32_t kSpriteCallback = 0xA8, kFactor = 0xAC, kFactorPair = 0xB4;
constexpr uint32_t kVariableValue = 12;
constexpr uint32_t kAreaBox = 4, kAreaFunction = 36;
}  // namespace at

// Header routine offsets.
constexpr uint32_t kQuery = 0x0C, kInstall = 0x10, kInitialize = 0x14, kUpdate = 0x18;
constexpr uint32_t kGenerate = 0x1C, kDraw = 0x20, kKill = 0x24;

}  // namespace

std::unique_ptr<GaugeSession> GaugeSession::Load(const std::string& path, const LoadOptions& options) {
  std::unique_ptr<GaugeSession> session(new GaugeSession());
  session->Start(PeImage::ReadFile(path), options);
  return session;
}

std::unique_ptr<GaugeSession> GaugeSession::LoadBytes(std::vector<uint8_t> file, const LoadOptions& options) {
  std::unique_ptr<GaugeSession> session(new GaugeSession());
  session->Start(PeImage::Parse(std::move(file)), options);
  return session;
}

void GaugeSession::Start(PeImage pe, const LoadOptions& options) {
  pe_ = std::move(pe);
  emu_ = std::make_unique<Emulator>();
  emu_->SetInstructionLimit(options.instruction_limit);
  stubs_ = std::make_unique<CrtStubs>(*emu_);
  services_ = std::make_unique<HostServiceTables>(*emu_, sequence_, variables_);
  services_->SetObserver([this](const ServiceCall& call) { OnServiceCall(call); });
  module_ = MapModule(*emu_, *stubs_, pe_, options.base.value_or(DefaultLoadBase(pe_)));

  std::string missing;
  for (const char* name : {"Linkage", "ImportTable"})
    if (!module_.exports.count(name)) missing += missing.empty() ? name : std::string(" and ") + name;
  if (!missing.empty())
    throw HostError(ErrorKind::kLoad, "not a gauge module: it does not export " + missing);
  linkage_ = module_.exports.at("Linkage");
  import_table_ = module_.exports.at("ImportTable");
  if (!module_.contains(linkage_, RECORD_SIZE_MODULE_LINKAGE) ||
      !module_.contains(import_table_, RECORD_SIZE_SERVICE_IMPORT))
    throw HostError(ErrorKind::kLoad, "inconsistent exports: Linkage or ImportTable outside the image");

  AttachModule(*emu_, pe_, module_);
  if (options.store_service_table) UseServiceTable(0);
  records_.Discover(*emu_, linkage_, import_table_, module_.base, module_.base + module_.size);
  if (const uint32_t on_load = emu_->ReadWord(linkage_ + 4)) {
    if (!module_.contains(on_load)) throw HostError(ErrorKind::kLoad, "Linkage.on_load lies outside the module");
    emu_->CallWord(on_load, {});
  }
  emu_->SetInstructionCounting(options.count_instructions);
  SetAudit(options.audit);
}

std::optional<uint32_t> GaugeSession::FindExport(const std::string& name) const {
  auto it = module_.exports.find(name);
  if (it == module_.exports.end()) return std::nullopt;
  return it->second;
}

std::string GaugeSession::gauge_name() const {
  const uint32_t name = emu_->ReadWord(gauge_header() + 4);
  return name ? emu_->ReadString(name, 256) : "";
}

const GaugeSession::Decoded& GaugeSession::DecodedResource(size_t index) const {
  if (auto it = decoded_.find(index); it != decoded_.end()) return it->second;
  Decoded& d = decoded_[index];
  const auto bytes = pe_.ResourceBytes(pe_.resources()[index]);
  const uint64_t pixel_bytes = DibPixelBytes(bytes);
  if (pixel_bytes > kMaxDecodedBytes - decoded_bytes_) {
    d.error = "the module's bitmaps decode to more than the host's limit of " + std::to_string(kMaxDecodedBytes) +
              " bytes";
    return d;
  }
  auto bitmap = std::make_shared<IndexedBitmap>();
  if (DecodeDib(bytes, *bitmap, d.error)) {
    decoded_bytes_ += bitmap->pixels.size();
    d.bitmap = std::move(bitmap);
  }
  return d;
}

std::vector<BitmapResource> GaugeSession::BitmapResources() const {
  std::vector<BitmapResource> list;
  for (size_t i = 0; i < pe_.resources().size(); ++i) {
    const PeResource& r = pe_.resources()[i];
    if (r.type != kBitmapType) continue;
    BitmapResource b;
    b.type = r.type;
    b.id = r.id;
    b.language = r.language;
    b.size = r.size;
    const auto bytes = pe_.ResourceBytes(r);
    if (bytes.size() >= 16) b.bits_per_pixel = bytes[14] | bytes[15] << 8;
    const Decoded& decoded = DecodedResource(i);
    b.bitmap = decoded.bitmap;
    b.decode_error = decoded.error;
    list.push_back(std::move(b));
  }
  return list;
}

std::optional<IndexedBitmap> GaugeSession::Bitmap(uint32_t id) const {
  for (size_t i = 0; i < pe_.resources().size(); ++i) {
    const PeResource& r = pe_.resources()[i];
    if (r.type != kBitmapType || r.id != id) continue;
    const Decoded& decoded = DecodedResource(i);
    if (!decoded.bitmap) return std::nullopt;
    return *decoded.bitmap;
  }
  return std::nullopt;
}

uint32_t GaugeSession::CallWord(uint32_t function, std::initializer_list<uint32_t> args) {
  return emu_->CallWord(function, std::span<const uint32_t>(args.begin(), args.size()));
}

double GaugeSession::CallDouble(uint32_t function, std::initializer_list<uint32_t> args) {
  return emu_->CallDouble(function, std::span<const uint32_t>(args.begin(), args.size()));
}

uint32_t GaugeSession::CallEntryPoint(uint32_t reason) {
  if (!module_.entry) throw HostError(ErrorKind::kUsage, "module has no entry point");
  return CallWord(module_.entry, {module_.base, reason, 0});
}

void GaugeSession::UseServiceTable(int index) {
  if (index < 0 || index >= HostServiceTables::kTableCount)
    throw HostError(ErrorKind::kUsage, "no service table " + std::to_string(index));
  emu_->WriteWord(import_table_ + 4, services_->table_address(index));
}

double GaugeSession::Variable(int32_t id) const {
  auto it = variables_.find(id);
  return it == variables_.end() ? 0.0 : it->second;
}

uint32_t GaugeSession::HeaderRoutine(uint32_t offset) const {
  const uint32_t routine = emu_->ReadWord(gauge_header() + offset);
  if (!routine || !module_.contains(routine))
    throw HostError(ErrorKind::kLoad, "gauge header." + FieldName(RecordType::kGaugeHeader, offset) +
                                          " is not a routine of the module (" + Hex(routine) + ")");
  return routine;
}

void GaugeSession::CallRoutine(uint32_t offset, std::initializer_list<uint32_t> args) {
  CallWord(HeaderRoutine(offset), args);
}

void GaugeSession::Query() { CallRoutine(kQuery, {}); }
void GaugeSession::Install(uint32_t host_value) { CallRoutine(kInstall, {host_value}); }
void GaugeSession::Initialize() { CallRoutine(kInitialize, {}); }
void GaugeSession::Update() { CallRoutine(kUpdate, {}); }
void GaugeSession::Generate(uint32_t host_value) { CallRoutine(kGenerate, {host_value}); }
void GaugeSession::Draw() { CallRoutine(kDraw, {}); }
void GaugeSession::Kill() { CallRoutine(kKill, {}); }

std::vector<ElementState> GaugeSession::RunFrame(uint32_t generate_value) {
  Update();
  std::vector<ElementState> states = EvaluateElements();
  Generate(generate_value);
  Draw();
  return states;
}

std::vector<ElementState> GaugeSession::EvaluateElements() {
  std::vector<ElementState> states;
  for (const ElementInfo& info : records_.elements()) {
    states.push_back(ReadElement(info));
    EvaluateElement(states.back());
  }
  return states;
}

std::vector<ElementState> GaugeSession::ElementStates() const {
  std::vector<ElementState> states;
  for (const ElementInfo& info : records_.elements()) states.push_back(ReadElement(info));
  return states;
}

std::vector<MouseAreaInfo> GaugeSession::MouseAreas() const {
  std::vector<MouseAreaInfo> areas;
  const uint32_t list = records_.mouse_areas();
  for (uint32_t i = 0; list && i < kMaxListEntries; ++i) {
    const uint32_t a = list + i * RECORD_SIZE_MOUSE_AREA;
    if (!module_.contains(a, RECORD_SIZE_MOUSE_AREA)) break;
    uint32_t w[11];
    emu_->Read(a, w, sizeof w);
    areas.push_back({int32_t(w[0]), int32_t(w[1]), int32_t(w[2]), int32_t(w[3]), int32_t(w[4]),
                     int32_t(w[5]), w[6], w[7], w[8], w[9], w[10]});
    if (areas.back().area_type == MOUSE_AREA_END_OF_LIST) break;
  }
  return areas;
}

ElementState GaugeSession::ReadElement(const ElementInfo& info) const {
  const Emulator& e = *emu_;
  const uint32_t a = info.address;
  ElementState s;
  s.index = info.index;
  s.parent = info.parent;
  s.role = info.role;
  s.address = a;
  s.kind = info.kind;
  s.bitmap_id = int32_t(e.ReadWord(a + at::kBitmapId));
  s.position = {int32_t(e.ReadWord(a + at::kPosition)), int32_t(e.ReadWord(a + at::kPosition + 4))};
  s.origin = {int32_t(e.ReadWord(a + at::kOrigin)), int32_t(e.ReadWord(a + at::kOrigin + 4))};
  s.image_flags = e.ReadWord(a + at::kImageFlags);
  if (const uint32_t failures = e.ReadWord(a + at::kFailures)) {
    for (uint32_t i = 0; i < kMaxListEntries; ++i) {
      const uint32_t f = failures + i * RECORD_SIZE_FAILURE_ENTRY;
      const int32_t key = int32_t(e.ReadWord(f));
      if (!key) break;
      s.failures.push_back({key, int32_t(e.ReadWord(f + 4))});
    }
  }
  if (info.kind == ELEMENT_KIND_NEEDLE) {
    s.variable_ids = {int32_t(e.ReadWord(a + at::kNeedleVariable))};
    s.needle_point = {int32_t(e.ReadWord(a + at::kNeedlePoint)), int32_t(e.ReadWord(a + at::kNeedlePoint + 4))};
    s.step_limit = int32_t(e.ReadWord(a + at::kStepLimit));
    const uint32_t table = e.ReadWord(a + at::kCalibration);
    const uint32_t count = table ? e.ReadWord(a + at::kCalibrationCount) : 0;
    // The module may have changed them since discovery: bounded the same way.
    if (count && (count > kMaxListEntries || !module_.contains(table, count * RECORD_SIZE_NONLINEARITY_POINT)))
      throw HostError(ErrorKind::kLoad, "inconsistent records: " + s.role + " calibration of " + std::to_string(count) +
                                            " points at " + Hex(table) + " is not a table of the module");
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t p = table + i * RECORD_SIZE_NONLINEARITY_POINT;
      s.calibration.push_back({{int32_t(e.ReadWord(p)), int32_t(e.ReadWord(p + 4))}, e.ReadDouble(p + 8)});
    }
  } else if (info.kind == ELEMENT_KIND_STRING || info.kind == ELEMENT_KIND_SPRITE) {
    for (uint32_t i = 0; i < 3; ++i)
      s.variable_ids.push_back(int32_t(e.ReadWord(a + at::kVariables + i * RECORD_SIZE_MODULE_VARIABLE)));
  }
  if (info.kind == ELEMENT_KIND_STRING) {
    s.text_size = {int32_t(e.ReadWord(a + at::kTextSize)), int32_t(e.ReadWord(a + at::kTextSize + 4))};
    s.text_colour = e.ReadWord(a + at::kTextColour);
    s.font_face = e.ReadString(a + at::kFontFace, 32);
    s.font_weight = e.ReadWord(a + at::kFontWeight);
    s.font_charset = e.ReadWord(a + at::kFontCharset);
    s.text_format = e.ReadWord(a + at::kTextFormat);
    s.char_count = e.ReadWord(a + at::kCharCount);
  } else if (info.kind == ELEMENT_KIND_SPRITE) {
    s.factor = e.ReadDouble(a + at::kFactor);
    e.Read(a + at::kFactorPair, s.factor_pair, sizeof s.factor_pair);
  }
  return s;
}

double GaugeSession::CallValue(uint32_t callback, uint32_t variable) {
  const int32_t id = int32_t(emu_->ReadWord(variable));
  if (id != 0) emu_->WriteDouble(variable + at::kVariableValue, Variable(id));
  if (!module_.contains(callback))
    throw HostError(ErrorKind::kLoad, "value callback " + Hex(callback) + " lies outside the module");
  return emu_->CallDouble(callback, std::span<const uint32_t>(&variable, 1));
}

uint32_t GaugeSession::TextBuffer(uint32_t element, uint32_t char_count) {
  TextBufferInfo& buffer = text_buffers_[element];
  if (buffer.size != char_count + 1) {
    buffer.size = char_count + 1;
    buffer.address = emu_->Allocate(buffer.size + 2 * kGuardSize) + kGuardSize;
  }
  std::vector<uint8_t> fill(buffer.size + 2 * kGuardSize, kGuardByte);
  std::memset(fill.data() + kGuardSize, 0, buffer.size);
  emu_->Write(buffer.address - kGuardSize, fill.data(), fill.size());
  return buffer.address;
}

void GaugeSession::CheckGuards(const ElementState& state) const {
  const TextBufferInfo& buffer = text_buffers_.at(state.address);
  std::vector<uint8_t> bytes(buffer.size + 2 * kGuardSize);
  emu_->Read(buffer.address - kGuardSize, bytes.data(), bytes.size());
  for (uint32_t i = 0; i < bytes.size(); ++i) {
    if (i >= kGuardSize && i < kGuardSize + buffer.size) continue;
    if (bytes[i] != kGuardByte)
      throw HostError(ErrorKind::kGuardBytes,
                      state.role + " wrote outside its text buffer of " + std::to_string(buffer.size) +
                          " bytes (at offset " + std::to_string(int(i) - int(kGuardSize)) + ")");
  }
}

void GaugeSession::EvaluateElement(ElementState& s) {
  const uint32_t a = s.address;
  if (s.kind == ELEMENT_KIND_NEEDLE) {
    if (const uint32_t callback = emu_->ReadWord(a + at::kNeedleCallback))
      s.results.push_back(CallValue(callback, a + at::kNeedleVariable));
  } else if (s.kind == ELEMENT_KIND_SPRITE) {
    if (const uint32_t callback = emu_->ReadWord(a + at::kSpriteCallback))
      s.results.push_back(CallValue(callback, a + at::kVariables));
  } else if (s.kind == ELEMENT_KIND_STRING) {
    if (s.char_count > kMaxCharCount)
      throw HostError(ErrorKind::kLoad, s.role + " asks for " + std::to_string(s.char_count) +
                                            " characters, more than the host's limit of " +
                                            std::to_string(kMaxCharCount));
    const uint32_t buffer = TextBuffer(a, s.char_count);
    emu_->WriteWord(a + at::kText, buffer);
    for (uint32_t i = 0; i < 3; ++i) {
      const uint32_t callback = emu_->ReadWord(a + at::kStringCallbacks + 4 * i);
      if (callback)
        s.results.push_back(CallValue(callback, a + at::kVariables + i * RECORD_SIZE_MODULE_VARIABLE));
      if (i == 0) CheckGuards(s);
    }
    s.text = emu_->ReadString(buffer, s.char_count + 1);
    const uint32_t real = emu_->ReadWord(a + at::kRealFunction);
    if (real && !s.results.empty()) {
      if (!module_.contains(real))
        throw HostError(ErrorKind::kLoad, s.role + ".real_function lies outside the module");
      uint32_t words[2];
      std::memcpy(words, &s.results[0], 8);
      s.real_result = emu_->CallDouble(real, words);
    }
  }
}

ClickResult GaugeSession::Click(int32_t x, int32_t y) {
  ClickResult click;
  if (!registered_areas_) return click;
  for (uint32_t i = 0; i < kMaxListEntries; ++i) {
    const uint32_t area = registered_areas_ + i * RECORD_SIZE_MOUSE_AREA;
    if (!module_.contains(area, RECORD_SIZE_MOUSE_AREA)) break;
    const int32_t type = int32_t(emu_->ReadWord(area));
    if (type == MOUSE_AREA_END_OF_LIST) break;
    if (type != MOUSE_AREA_CHILD) continue;
    int32_t box[4];
    emu_->Read(area + at::kAreaBox, box, sizeof box);
    if (x < box[0] || y < box[1] || int64_t(x) >= int64_t(box[0]) + box[2] ||
        int64_t(y) >= int64_t(box[1]) + box[3])
      continue;
    click.hit = true;
    click.area_index = int(i);
    click.function = emu_->ReadWord(area + at::kAreaFunction);
    if (!click.function) return click;
    if (!module_.contains(click.function))
      throw HostError(ErrorKind::kLoad, "mouse areas[" + std::to_string(i) + "].function lies outside the module");
    const size_t first = service_calls().size();
    click.result = CallWord(click.function, {uint32_t(x), uint32_t(y)});
    for (size_t c = first; c < service_calls().size(); ++c)
      if (service_calls()[c].name == "SendEvent") click.events.push_back(service_calls()[c]);
    return click;
  }
  return click;
}

void GaugeSession::OnServiceCall(const ServiceCall& call) {
  // Walking a mouse-area list is charged as reading its entries would be.
  constexpr uint32_t kAreaBlocks = RECORD_SIZE_MOUSE_AREA / 16 + 1;
  if (call.name == "InstallMouseAreas") {
    emu_->Charge(uint64_t(kAreaBlocks) * records_.AddMouseAreas(*emu_, call.args[0]));
  } else if (call.name == "RegisterMouseAreas") {
    emu_->Charge(uint64_t(kAreaBlocks) * records_.AddMouseAreas(*emu_, call.args[0]));
    registered_areas_ = call.args[0];
  } else if (call.name == "UnregisterMouseAreas") {
    if (registered_areas_ == call.args[0]) registered_areas_ = 0;
  } else if (call.name == "BindVariable") {
    records_.AddBoundVariable(call.args[0]);
  }
}

void GaugeSession::OnAccess(uint32_t address, uint32_t size, bool write) {
  AuditEntry entry;
  entry.sequence = sequence_.Take();
  entry.address = address;
  entry.size = size;
  entry.write = write;
  if (auto named = records_.Name(address)) {
    entry.record = named->record;
    entry.field = named->field;
  } else if (const PeSection* section = pe_.SectionAt(address - module_.base)) {
    char offset[16];
    std::snprintf(offset, sizeof offset, "+0x%x", address - module_.base - section->rva);
    entry.record = section->name;
    entry.field = offset;
  } else {
    entry.record = "headers";
  }
  audit_.push_back(std::move(entry));
}

void GaugeSession::SetAudit(bool on) {
  if (on)
    emu_->SetAccessObserver(module_.base, module_.base + module_.size,
                            [this](uint32_t a, uint32_t s, bool w) { OnAccess(a, s, w); });
  else
    emu_->SetAccessObserver(0, 0, nullptr);
}

void GaugeSession::ClearRecords() {
  services_->ClearCalls();
  audit_.clear();
}

}  // namespace gauge
