// The tests' Wayland desktop for scripts/demo.sh --wayland: prints `export NAME='value'` lines, then
// "ready"; drags for each input line "X0 Y0 X1 Y1", answering "ok"; stops when input ends.
#include <iostream>

#include "tests/support/wayland_desktop.h"

int main() {
    kg::test::WaylandDesktop desktop;
    for (const auto& [name, value] : desktop.clientEnv()) std::cout << "export " << name << "='" << value << "'\n";
    std::cout << "ready" << std::endl;
    for (int x0, y0, x1, y1; std::cin >> x0 >> y0 >> x1 >> y1; std::cout << "ok" << std::endl) desktop.drag(x0, y0, x1, y1);
}
