// The commands of ravelin-tool, one file each.
#pragma once

#include <cstdint>

#include "tool/tool.h"

namespace ravelin::tool {

int CommandLine(const Args& argv);         // cmdline_command.cpp
int ClassifyGivenFacts(const Args& argv);  // osclass_command.cpp
int ShowManifest(const Args& argv);        // manifest_command.cpp
int ParseProbeOutput(const Args& argv);    // parse_command.cpp
int ShowCrashDump(const Args& argv);       // dump_command.cpp

// The OS code word as osclass prints it, from given facts or this machine's.
void PrintOsClass(std::uint32_t code, std::uint32_t build);

}  // namespace ravelin::tool
