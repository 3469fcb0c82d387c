// SPDX-License-Identifier: GPL-3.0-or-later

#include <wayland-client.h>

#include <cstring>

// Whether the compositor offers to draw the windows' decorations itself
// (xdg-decoration): asked once, over a connection of our own.
bool serverSideDecorations()
{
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        return true; // no answer: the title bars stay as Qt makes them
    }
    bool offered = false;
    static const wl_registry_listener listener = {
        [](void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
            if (std::strcmp(interface, "zxdg_decoration_manager_v1") == 0) {
                *static_cast<bool*>(data) = true;
            }
        },
        [](void*, wl_registry*, uint32_t) {},
    };
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &offered);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return offered;
}
