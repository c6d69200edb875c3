#include "gauge_session.h"

#include <cstring>


namespace gauge {
namespace {

constexpr uint32_t kGuardSize = 16;
constexpr uint8_t kGuardByte = 0xCC;
constexpr uint32_t kMaxCharCount = 4096;
constexpr uint32_t kBitmapType = 2;

std::string Hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", v);
  return text;
}

using H = layout::GaugeHeader;

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
  services_ = std::make_unique<HostServiceTables>(*emu_, sequence_, variables_, records_);
  module_ = MapModule(*emu_, *stubs_, pe_, options.base.value_or(DefaultLoadBase(pe_)));

  std::string missing;
  for (const char* name : {"Linkage", "ImportTable"})
    if (!module_.exports.count(name)) missing += missing.empty() ? name : std::string(" and ") + name;
  if (!missing.empty())
    throw HostError(ErrorKind::kLoad, "not a gauge module: it does not export " + missing);
  linkage_ = module_.exports.at("Linkage");
  import_table_ = module_.exports.at("ImportTable");
  if (!module_.contains(linkage_, layout::Linkage::kSize) ||
      !module_.contains(import_table_, layout::ServiceImport::kSize))
    throw HostError(ErrorKind::kLoad, "inconsistent exports: Linkage or ImportTable outside the image");

  AttachModule(*emu_, pe_, module_);
  if (options.store_service_table) UseServiceTable(0);
  records_.Discover(*emu_, linkage_, import_table_, module_.base, module_.base + module_.size);
  if (const uint32_t on_load = emu_->ReadWord(linkage_ + layout::Linkage::on_load)) {
    if (!module_.contains(on_load)) throw HostError(ErrorKind::kLoad, "Linkage.on_load lies outside the module");
    emu_->CallWord(on_load, {});
  }
  emu_->SetInstructionCounting(options.count_instructions);
  SetAudit(options.audit);
}

std::string GaugeSession::gauge_name() const {
  const uint32_t name = emu_->ReadWord(gauge_header() + H::name);
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
  emu_->WriteWord(import_table_ + layout::ServiceImport::services, services_->table_address(index));
}

double GaugeSession::Variable(int32_t id) const {
  auto it = variables_.find(id);
  return it == variables_.end() ? 0.0 : it->second;
}

uint32_t GaugeSession::HeaderRoutine(uint32_t offset) const {
  const uint32_t routine = emu_->ReadWord(gauge_header() + offset);
  if (!routine || !module_.contains(routine))
    throw HostError(ErrorKind::kBadRecord, "gauge header." + FieldName(RecordType::kGaugeHeader, offset) +
                                          " is not a routine of the module (" + Hex(routine) + ")");
  return routine;
}

void GaugeSession::CallRoutine(uint32_t offset, std::initializer_list<uint32_t> args) {
  CallWord(HeaderRoutine(offset), args);
}

void GaugeSession::Query() { CallRoutine(H::query, {}); }
void GaugeSession::Install(uint32_t host_value) { CallRoutine(H::install, {host_value}); }
void GaugeSession::Initialize() { CallRoutine(H::initialize, {}); }
void GaugeSession::Update() { CallRoutine(H::update, {}); }
void GaugeSession::Generate(uint32_t host_value) { CallRoutine(H::generate, {host_value}); }
void GaugeSession::Draw() { CallRoutine(H::draw, {}); }
void GaugeSession::Kill() { CallRoutine(H::kill, {}); }

std::vector<ElementSnapshot> GaugeSession::RunUpdateCycle(uint32_t generate_value) {
  Update();
  std::vector<ElementSnapshot> states = EvaluateElements();
  Generate(generate_value);
  Draw();
  return states;
}

std::vector<ElementSnapshot> GaugeSession::EvaluateElements() {
  std::vector<ElementSnapshot> states;
  for (const ElementInfo& info : records_.elements()) {
    states.push_back(records_.ReadElement(*emu_, info));
    EvaluateElement(states.back());
  }
  return states;
}

std::vector<ElementSnapshot> GaugeSession::ElementStates() const {
  std::vector<ElementSnapshot> states;
  for (const ElementInfo& info : records_.elements()) states.push_back(records_.ReadElement(*emu_, info));
  return states;
}

std::vector<MouseAreaInfo> GaugeSession::MouseAreas() const {
  return records_.MouseAreaList(*emu_, records_.mouse_areas());
}

std::vector<MouseAreaInfo> GaugeSession::RegisteredMouseAreas() const {
  return records_.MouseAreaList(*emu_, services_->registered_mouse_areas());
}

double GaugeSession::CallValue(uint32_t callback, uint32_t variable) {
  const int32_t id = int32_t(emu_->ReadWord(variable + layout::Variable::id));
  if (id != 0) emu_->WriteDouble(variable + layout::Variable::value, Variable(id));
  if (!module_.contains(callback))
    throw HostError(ErrorKind::kBadRecord, "value callback " + Hex(callback) + " lies outside the module");
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

std::optional<double> GaugeSession::CallValueAt(uint32_t callback_field, uint32_t variable) {
  const uint32_t callback = emu_->ReadWord(callback_field);
  if (!callback) return std::nullopt;
  return CallValue(callback, variable);
}

void GaugeSession::CheckGuards(const StringState& state) const {
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

void GaugeSession::EvaluateElement(ElementSnapshot& element) {
  if (auto* n = std::get_if<NeedleState>(&element)) {
    n->result = CallValueAt(n->address + layout::Needle::value_callback, n->address + layout::Needle::variable);
  } else if (auto* s = std::get_if<SpriteState>(&element)) {
    s->result = CallValueAt(s->address + layout::Sprite::value_callback, s->address + layout::Sprite::variables);
  } else if (auto* t = std::get_if<StringState>(&element)) {
    EvaluateString(*t);
  }
}

void GaugeSession::EvaluateString(StringState& s) {
  using S = layout::String;
  const uint32_t a = s.address;
  if (s.char_count > kMaxCharCount)
    throw HostError(ErrorKind::kBadRecord, s.role + " asks for " + std::to_string(s.char_count) +
                                          " characters, more than the host's limit of " +
                                          std::to_string(kMaxCharCount));
  const uint32_t buffer = TextBuffer(a, s.char_count);
  emu_->WriteWord(a + S::text, buffer);
  for (uint32_t i = 0; i < s.variable_ids.size(); ++i) {
    if (auto result = CallValueAt(a + S::value_callbacks + layout::kWord * i,
                                  a + S::variables + i * layout::Variable::kSize))
      s.results.push_back(*result);
    if (i == 0) CheckGuards(s);
  }
  s.text = emu_->ReadString(buffer, s.char_count + 1);
  const uint32_t real = emu_->ReadWord(a + S::real_function);
  if (real && !s.results.empty()) {
    if (!module_.contains(real)) throw HostError(ErrorKind::kBadRecord, s.role + ".real_function lies outside the module");
    uint32_t words[2];
    std::memcpy(words, &s.results[0], 8);
    s.real_result = emu_->CallDouble(real, words);
  }
}

ClickResult GaugeSession::Click(int32_t x, int32_t y) {
  ClickResult click;
  const std::vector<MouseAreaInfo> areas = RegisteredMouseAreas();
  for (size_t i = 0; i < areas.size(); ++i) {
    const MouseAreaInfo& area = areas[i];
    if (area.area_type != AreaType::kChild || !area.Contains(x, y)) continue;
    click.hit = true;
    click.area_index = int(i);
    click.function = area.function;
    if (!click.function) return click;
    if (!module_.contains(click.function))
      throw HostError(ErrorKind::kBadRecord, "mouse areas[" + std::to_string(i) + "].function lies outside the module");
    const size_t first = service_calls().size();
    click.result = CallWord(click.function, {uint32_t(x), uint32_t(y)});
    for (size_t c = first; c < service_calls().size(); ++c)
      if (service_calls()[c].service == Service::SendEvent) click.events.push_back(service_calls()[c]);
    return click;
  }
  return click;
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

void GaugeSession::ClearLogs() {
  services_->ClearCalls();
  audit_.clear();
}

}  // namespace gauge
