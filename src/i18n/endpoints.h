// The compiled-in remote places of each UI language. Hosts come from the
// build's configuration (CMake cache variables).
#pragma once

#include <array>
#include <string_view>

#include "i18n/language.h"

namespace ravelin {

std::wstring_view GameUrlTemplate(UiLanguage language);
std::wstring_view UpdateManifestUrl(UiLanguage language);
// List 1 for Turkish and Chinese, list 2 for the others.
std::wstring_view ServerList(UiLanguage language);

// The host that serves the manifests and builds and takes the diagnostic uploads.
std::wstring_view DownloadHost();
// The UDP echo host of the diagnostics.
std::wstring_view UdpEchoAddress();
// Four public sites the connectivity probe tries.
const std::array<std::wstring_view, 4>& PublicSites();

}  // namespace ravelin
