// The module frame shared by every gauge: the two exported records, the
// library entry point, the load and unload functions and the seven lifecycle
// routines. Each routine forwards to the host's element-list service with the
// gauge's top element; install and kill also hand over and take back the
// gauge's mouse-area list.
#include <windows.h>

#include "gauge_frame.h"
#include "host_services.h"

namespace {

void __stdcall OnModuleLoad() {}
void __stdcall OnModuleUnload() {}

}  // namespace

extern "C" {

ServiceImport ImportTable = {.import_id = SERVICE_IMPORT_ID, .services = nullptr, .reserved = {}};

ModuleLinkage Linkage = {
    .linkage_id = MODULE_LINKAGE_ID,
    .on_load = OnModuleLoad,
    .on_unload = OnModuleUnload,
    .reserved = {},
    .gauges = {&gauge_header, nullptr},
};

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

}  // extern "C"

void __stdcall GaugeQuery() { CallService<Service::QueryElements>(*gauge_header.top_element_ref); }

void __stdcall GaugeInstall(uint32_t host_value) {
  CallService<Service::InstallElements>(top_element, host_value);
  // The host has just stored the address of its own record here; the image
  // address the mouse areas need is that record's second word.
  const uint32_t host_record = top_element->host_image[0];
  CallService<Service::InstallMouseAreas>(gauge_mouse_areas, &gauge_header, host_record + 4);
  CallService<Service::RegisterMouseAreas>(gauge_mouse_areas, &gauge_header);
}

void __stdcall GaugeInitialize() {
  CallService<Service::InitializeElements>(top_element);
  BindGaugeVariables();
}

void __stdcall GaugeUpdate() { CallService<Service::UpdateElements>(top_element); }

void __stdcall GaugeGenerate(uint32_t host_value) {
  CallService<Service::GenerateElements>(top_element, host_value);
}

void __stdcall GaugeDraw() { CallService<Service::DrawElements>(top_element); }

void __stdcall GaugeKill() {
  CallService<Service::UnregisterMouseAreas>(gauge_mouse_areas, &gauge_header);
  CallService<Service::KillElements>(top_element);
}
