// A downloaded build is outside bytes: whatever arrives, the check must
// stay inside them, and bytes appended to an accepted image (an overlay)
// never make it unacceptable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "update/update_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  if (!ravelin::IsAcceptableBuild(bytes)) return 0;
  std::vector<std::uint8_t> longer(bytes.begin(), bytes.end());
  longer.push_back(0);
  if (!ravelin::IsAcceptableBuild(longer)) std::abort();
  return 0;
}
