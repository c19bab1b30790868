#pragma once

#include <cstddef>
#include <string>

namespace ravelin {

enum class HostUidForm { Disk, CpuSignature, MachineGuid, NoBase };

struct HostUid {
  std::wstring text;
  HostUidForm form = HostUidForm::NoBase;
};

// Computes the identifier: the first disk's serial and model when the raw
// drive answers, else the processor signature (or the machine GUID) and the
// current volume's serial number.
HostUid ComputeHostUid();

// Fills `buffer` (cleared first, `capacity` characters) with the identifier.
void GetHostUid(wchar_t* buffer, std::size_t capacity);

}  // namespace ravelin
