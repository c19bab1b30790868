#include "framework/gdi_holders_win.h"

namespace ravelin::framework {

namespace detail {
std::atomic<long> g_liveGdiHolders{0};
}

long LiveGdiHolders() { return detail::g_liveGdiHolders.load(); }

}  // namespace ravelin::framework
