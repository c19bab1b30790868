// The text by which the text fetch and the module-path lookup say they
// failed; callers compare against it.
#pragma once

#include <string_view>

namespace ravelin {

inline constexpr std::wstring_view kFetchError = L"Error";

}  // namespace ravelin
