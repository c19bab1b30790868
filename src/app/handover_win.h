#pragma once

#include "app/handover.h"

namespace ravelin {

// The hand-over's file and process operations on the real system.
class Win32HandoverOps final : public HandoverOps {
 public:
  bool PathExists(const std::wstring& path) override;
  bool Delete(const std::wstring& path) override;
  FileResult Replace(const std::wstring& from, const std::wstring& to) override;
  bool Copy(const std::wstring& from, const std::wstring& to) override;
  bool InUse(const std::wstring& path) override;
  std::optional<std::wstring> ModulePath() override;
  bool Start(const std::wstring& application, const std::wstring& commandLine, StartWindow window) override;
  void Sleep(std::uint32_t milliseconds) override;
  std::uint64_t TickMilliseconds() override;
};

}  // namespace ravelin
