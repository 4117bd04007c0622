// A clipboard manager for the tests: owns CLIPBOARD_MANAGER (prints "ready"); asked by an ending
// program to SAVE_TARGETS, it fetches and keeps the clipboard's text, prints "saved:<text>" and
// answers. Runs until killed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <xcb/xcb.h>

int main()
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 2;
    const auto atom = [c](const char* name) {
        auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), 0);
        const xcb_atom_t result = reply->atom;
        std::free(reply);
        return result;
    };
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, 0, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
        screen->root_visual, 0, nullptr);
    const xcb_atom_t manager = atom("CLIPBOARD_MANAGER"), save = atom("SAVE_TARGETS"),
                     utf8 = atom("UTF8_STRING");
    xcb_set_selection_owner(c, window, manager, XCB_CURRENT_TIME);
    xcb_flush(c);
    std::printf("ready\n");
    std::fflush(stdout);

    std::string text; // the saved clipboard, held from now on
    xcb_selection_notify_event_t answer {};
    answer.response_type = XCB_SELECTION_NOTIFY;
    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        const auto* request = reinterpret_cast<xcb_selection_request_event_t*>(event);
        if ((event->response_type & 0x7f) == XCB_SELECTION_REQUEST) {
            answer = { XCB_SELECTION_NOTIFY, 0, 0, request->time, request->requestor,
                request->selection, request->target, XCB_ATOM_NONE };
            if (request->selection == manager && request->target == save) {
                xcb_convert_selection(c, window, atom("CLIPBOARD"), utf8, utf8, request->time);
                answer.property = request->property; // answered once the text is here
            } else {
                xcb_send_event(c, 0, answer.requestor, 0, reinterpret_cast<const char*>(&answer));
            }
        } else if ((event->response_type & 0x7f) == XCB_SELECTION_NOTIFY && answer.requestor) {
            auto* value = xcb_get_property_reply(
                c, xcb_get_property(c, 1, window, utf8, utf8, 0, 1 << 20), nullptr);
            text.assign(static_cast<const char*>(xcb_get_property_value(value)),
                xcb_get_property_value_length(value));
            std::free(value);
            std::printf("saved:%s\n", text.c_str());
            std::fflush(stdout);
            xcb_send_event(c, 0, answer.requestor, 0, reinterpret_cast<const char*>(&answer));
            answer.requestor = 0;
        }
        xcb_flush(c);
        std::free(event);
    }
    return 0;
}
