// The one error type of the stand-in host: a one-line message that names the
// problem (bad file, load failure, a module that misbehaves when called) and
// a kind, so callers can tell the cases apart without parsing text.
#pragma once

#include <stdexcept>
#include <string>

namespace gauge {

enum class ErrorKind {
  kFile,               // missing or unreadable file
  kFormat,             // not a PE32 DLL, truncated or inconsistent
  kLoad,               // missing exports, an import without a stub, no room to map
  kBadRecord,          // a gauge record (header, element, mouse area, variable) the host cannot use
  kMissingResource,    // a record names a bitmap the module does not carry
  kRunaway,            // module code exceeded the instruction limit
  kMemoryFault,        // module code touched unmapped or protected memory
  kCpuException,       // module code raised a CPU exception (divide error, int3, ...)
  kUnsupportedService, // module called a service slot the host does not provide
  kCallingConvention,  // stack or x87 stack not as the calling convention requires
  kModuleAbort,        // module code called abort or a C run-time failure routine
  kGuardBytes,         // module code wrote past a host text buffer
  kUsage,              // bad request to the host itself (unknown export, bad argument)
  kRender,             // the renderer could not draw the picture
  kResourceLimit,      // serving the module would take more memory than the host has or allows
  kInternal,           // a host routine failed while serving the module (a host fault)
};

class HostError : public std::runtime_error {
 public:
  HostError(ErrorKind kind, const std::string& message)
      : std::runtime_error(message), kind_(kind) {}
  ErrorKind kind() const { return kind_; }

 private:
  ErrorKind kind_;
};

}  // namespace gauge
