// A crash dump is whatever a player sends. Reading must take any bytes and
// keep only what they hold: never more modules than the module list has
// room for, never more name text than the file has bytes; a dump that reads
// still reads with bytes appended, and the module found for the exception's
// address holds that address.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "app/minidump.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const ravelin::MinidumpRead read = ravelin::ReadMinidump(bytes);
  if (!read.dump) {
    if (read.error.empty()) std::abort();
    return 0;
  }
  const ravelin::Minidump& dump = *read.dump;
  if (dump.modules.size() * 108 > size) std::abort();
  std::size_t nameText = 0;
  for (const ravelin::MinidumpModule& module : dump.modules) nameText += module.name.size();
  if (nameText * 2 > size) std::abort();
  if (dump.exception) {
    if (dump.exception->parameters.size() > 15) std::abort();
    const std::uint64_t address = dump.exception->address;
    if (const ravelin::MinidumpModule* module = ravelin::ModuleAt(dump, address)) {
      if (address < module->base || address - module->base >= module->size) std::abort();
    }
  }

  std::vector<std::uint8_t> longer(bytes.begin(), bytes.end());
  longer.push_back(0);
  if (!ravelin::ReadMinidump(longer).dump) std::abort();
  return 0;
}
