#pragma once

namespace ravelin {

// Restricts run-time DLL loads to the system folder and takes the current
// directory out of the search path. A DLL dropped beside the program or in
// the download folder is then never loaded by name. Call before anything
// else in the process, so no load happens with the wider search.
void HardenDllSearch();

}  // namespace ravelin
