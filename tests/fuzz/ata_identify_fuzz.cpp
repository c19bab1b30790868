// Identify data comes from whatever disk is attached: any 512 bytes must
// give an identifier without blanks or NULs that fits its buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/utf8.h"
#include "sysinfo/host_uid.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ravelin::AtaIdentifyWords words{};
  for (std::size_t i = 0; i < words.size() && 2 * i + 1 < size; ++i) {
    words[i] = static_cast<std::uint32_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  const std::string serial = ravelin::ExtractAtaString(words, 10, 19);
  const std::string model = ravelin::ExtractAtaString(words, 27, 46);
  if (serial.size() > 20 || model.size() > 40) std::abort();
  if (serial.find_first_of(std::string(" \0", 2)) != std::string::npos) std::abort();
  if (model.find_first_of(std::string(" \0", 2)) != std::string::npos) std::abort();

  const std::wstring uid = ravelin::FormatDiskHostUid(serial, model);
  if (uid.size() >= ravelin::kHostUidCapacity) std::abort();
  if (uid.find(L'_') == std::wstring::npos) std::abort();
  // Valid text survives the round trip through UTF-8 unchanged.
  if (ravelin::FromUtf8(ravelin::ToUtf8(uid)) != uid) std::abort();
  return 0;
}
