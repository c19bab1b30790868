// manifest FILE [--local-version V] [--json]: the fields of a fetched update
// manifest and whether the launcher at version V would offer its build.
#include <cstdio>

#include "common/utf8.h"
#include "ravelin_build_config.h"
#include "tool/commands.h"
#include "tool/json_writer.h"
#include "update/manifest.h"

namespace ravelin::tool {

int ShowManifest(const Args& argv) {
  std::wstring local = RAVELIN_CFG_VERSION;
  bool json = false;
  for (std::size_t i = 3; i < argv.size(); ++i) {
    if (argv[i] == L"--json") {
      json = true;
    } else if (argv[i] == L"--local-version" && i + 1 < argv.size()) {
      local = argv[++i];
    } else {
      return UsageError();
    }
  }
  const std::optional<std::string> bytes = ReadWholeFile(argv[2]);
  if (!bytes) {
    std::fprintf(stderr, "cannot read %s\n", ToUtf8(argv[2]).c_str());
    return 1;
  }
  const std::wstring text = FetchedText(*bytes);
  const UpdateManifest m = ParseUpdateManifest(text);
  const bool usable = IsUsableManifest(text);
  const bool offered = usable && IsDifferentVersion(local, m.version);
  if (json) {
    std::printf(
        "{\"version\": %s, \"autoupdate\": %s, \"silentupdate\": %s, \"http\": %s, \"notes\": %s, "
        "\"offered\": %s}\n",
        Json(m.version).c_str(), Json(m.autoupdate).c_str(), Json(m.silentupdate).c_str(), Json(m.http).c_str(),
        Json(m.notes).c_str(), offered ? "true" : "false");
    return 0;
  }
  std::printf("version: %s\nautoupdate: %s\nsilentupdate: %s\nhttp: %s\nnotes: %s\n", Escaped(m.version).c_str(),
              Escaped(m.autoupdate).c_str(), Escaped(m.silentupdate).c_str(), Escaped(m.http).c_str(),
              Escaped(m.notes).c_str());
  const std::string localText = Escaped(local);
  if (!usable) {
    std::puts("offered: no (no [OsUpdate] section: the launcher reports the manifest unreachable)");
  } else if (m.version.empty()) {
    std::puts("offered: no (no version)");
  } else if (!offered) {
    std::printf("offered: no (same version as local %s)\n", localText.c_str());
  } else {
    std::printf("offered: yes (local %s)\n", localText.c_str());
  }
  return 0;
}

}  // namespace ravelin::tool
