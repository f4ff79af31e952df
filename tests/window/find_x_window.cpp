#include "window/find_x_window.h"

#include <cstring>

::Window FindXWindow(Display* display, ::Window from, const char* title)
{
    char* name = nullptr;
    if (XFetchName(display, from, &name) && name != nullptr) {
        const bool match = std::strcmp(name, title) == 0;
        XFree(name);
        if (match) {
            return from;
        }
    }
    ::Window root;
    ::Window parent;
    ::Window* children = nullptr;
    unsigned int count = 0;
    ::Window found = 0;
    if (XQueryTree(display, from, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && found == 0; ++i) {
            found = FindXWindow(display, children[i], title);
        }
        XFree(children);
    }
    return found;
}
