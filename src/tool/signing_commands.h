// Update signing: on the host, make the key pair, sign a build and check a
// build against its signature, all with OpenSSL. On Windows only the check,
// with the launcher's own code and the platform's verifier.
#pragma once

#include <string>
#include <vector>

namespace ravelin::tool {

// Each takes the tool's whole argument list (argv[1] is the command) and
// returns the exit status: 0 done (verify: good signature), 1 bad, missing or
// unreadable signature (sign: the signature could not be written), 2 usage,
// key or input file errors.
int Keygen(const std::vector<std::wstring>& argv);
int Sign(const std::vector<std::wstring>& argv);
int Verify(const std::vector<std::wstring>& argv);

}  // namespace ravelin::tool
