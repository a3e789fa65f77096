// Drops files onto an X window as a Linux file manager does, so that a script can drop them
// onto a window of the program running under Wine: Wine's X11 driver turns the X drag and drop
// (XDnD) into WM_DROPFILES for the window under the point.
//
//   xdnd_drop WINDOW_ID X Y PATH...
//
// WINDOW_ID is the target's top-level X window (decimal or 0x hex, as `xdotool search` prints
// it), X Y the drop point in root coordinates, and every PATH an absolute Linux path. The paths
// go over as text/uri-list: percent-encoded file:// URIs, one a line, each ending in CR LF.
//
// Exits 0 once the target has taken the drop, 2 when it refuses it, 1 on any other failure.
// Every wait has a deadline, so that a target that never answers cannot hang a test run.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kTimeout = std::chrono::seconds(10);
// The newest version of the protocol this program speaks.
constexpr long kVersion = 5;

Display* dpy;
Window source;  // ours: owns the selection and receives the target's answers
std::string uri_list;
Atom XdndAware, XdndProxy, XdndSelection, XdndEnter, XdndPosition, XdndStatus, XdndDrop,
    XdndFinished, XdndLeave, XdndActionCopy, UriList, Targets, Timestamp;

// XDND_DROP_TRACE=1 in the environment tells each step on stderr, to see what a target does.
void trace(const char* what, Atom atom = None) {
  static const bool on = std::getenv("XDND_DROP_TRACE") != nullptr;
  if (!on) return;
  char* name = atom != None ? XGetAtomName(dpy, atom) : nullptr;
  std::fprintf(stderr, "xdnd_drop: %s%s%s\n", what, name ? " " : "", name ? name : "");
  if (name) XFree(name);
}

[[noreturn]] void fail(int code, const char* what) {
  std::fprintf(stderr, "xdnd_drop: %s\n", what);
  std::exit(code);
}

// Unreserved URI characters and the path's slashes pass as they are; every other byte, those
// of a UTF-8 name and spaces included, becomes %XX.
std::string file_uri(const char* path) {
  std::string uri = "file://";
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(path); *p; ++p) {
    bool plain = (*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9');
    if (plain || std::strchr("-._~/", *p)) {
      uri += static_cast<char>(*p);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", *p);
      uri += hex;
    }
  }
  return uri;
}

// One window property of 32-bit items (XA_WINDOW or XA_ATOM), or 0 when it is missing.
unsigned long property_value(Window w, Atom property, Atom type) {
  Atom actual;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  unsigned long value = 0;
  if (XGetWindowProperty(dpy, w, property, 0, 1, False, type, &actual, &format, &count, &after,
                         &data) == Success && actual == type && format == 32 && count == 1) {
    value = *reinterpret_cast<unsigned long*>(data);  // Xlib hands 32-bit items as longs
  }
  if (data) XFree(data);
  return value;
}

// The XDnD version that window `w` speaks, or 0 when it takes no drops. Messages for `w` go to
// `*deliver`: a proxy when `w` names a valid one (it names itself as its own proxy).
long aware_version(Window w, Window* deliver) {
  Window proxy = property_value(w, XdndProxy, XA_WINDOW);
  *deliver = proxy && property_value(proxy, XdndProxy, XA_WINDOW) == proxy ? proxy : w;
  return static_cast<long>(property_value(*deliver, XdndAware, XA_ATOM));
}

// The selection is asked for while the drop is under way and, by Wine, already after
// XdndEnter: every wait below answers requests as they come.
void answer(const XSelectionRequestEvent& request) {
  trace("asked for the data as", request.target);
  XSelectionEvent reply{};
  reply.type = SelectionNotify;
  reply.requestor = request.requestor;
  reply.selection = request.selection;
  reply.target = request.target;
  reply.time = request.time;
  // Old clients name no property; the target's name is then the one to use.
  Atom property = request.property != None ? request.property : request.target;
  reply.property = None;  // refused unless set below
  if (request.selection == XdndSelection && request.target == UriList) {
    XChangeProperty(dpy, request.requestor, property, UriList, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(uri_list.data()),
                    static_cast<int>(uri_list.size()));
    reply.property = property;
  } else if (request.selection == XdndSelection && request.target == Targets) {
    Atom targets[] = {Targets, UriList};
    XChangeProperty(dpy, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(targets), 2);
    reply.property = property;
  }
  XSendEvent(dpy, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
  XFlush(dpy);
}

// Waits until the next event that `wanted` takes, answering selection requests meanwhile.
// False when `deadline` passes first.
template <typename Wanted>
bool wait_for(Wanted wanted, Clock::time_point deadline, XEvent* event) {
  for (;;) {
    while (XPending(dpy)) {
      XNextEvent(dpy, event);
      if (event->type == SelectionRequest) {
        answer(event->xselectionrequest);
        continue;
      }
      if (event->type == ClientMessage) trace("received", event->xclient.message_type);
      if (wanted(*event)) return true;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd fd{ConnectionNumber(dpy), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(left.count()));
  }
}

bool is_message(const XEvent& event, Atom type) {
  return event.type == ClientMessage && event.xclient.message_type == type;
}

void send_message(Window deliver, Window target, Atom type, long l1, long l2, long l3, long l4) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = target;  // the real target, even when a proxy receives it
  event.xclient.message_type = type;
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(source);
  event.xclient.data.l[1] = l1;
  event.xclient.data.l[2] = l2;
  event.xclient.data.l[3] = l3;
  event.xclient.data.l[4] = l4;
  XSendEvent(dpy, deliver, False, NoEventMask, &event);
  XFlush(dpy);
  trace("sent", type);
}

// A window that goes away in the middle (the target closed, a wrong WINDOW_ID) is an X error,
// which Xlib's own handler would report in its terms only.
int x_error(Display* display, XErrorEvent* error) {
  char text[256];
  XGetErrorText(display, error->error_code, text, sizeof text);
  std::fprintf(stderr, "xdnd_drop: X error on window 0x%lx: %s\n", error->resourceid, text);
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) fail(1, "usage: xdnd_drop WINDOW_ID X Y PATH...");
  char* end;
  Window top = std::strtoul(argv[1], &end, 0);
  if (*end || !top) fail(1, "WINDOW_ID must be a window number, decimal or 0x hex");
  long x = std::strtol(argv[2], &end, 10);
  bool numbers = *argv[2] && !*end;
  long y = std::strtol(argv[3], &end, 10);
  if (!numbers || !*argv[3] || *end) fail(1, "X and Y must be whole numbers");
  for (int i = 4; i < argc; ++i) {
    if (argv[i][0] != '/') fail(1, "every PATH must be absolute");
    uri_list += file_uri(argv[i]) + "\r\n";
  }

  dpy = XOpenDisplay(nullptr);
  if (!dpy) fail(1, "cannot open the X display (is DISPLAY set?)");
  XSetErrorHandler(x_error);
  Window root = DefaultRootWindow(dpy);
  const char* names[] = {"XdndAware", "XdndProxy", "XdndSelection", "XdndEnter", "XdndPosition",
                         "XdndStatus", "XdndDrop", "XdndFinished", "XdndLeave",
                         "XdndActionCopy", "text/uri-list", "TARGETS", "_XDND_DROP_TIME"};
  Atom atoms[13];
  XInternAtoms(dpy, const_cast<char**>(names), 13, False, atoms);
  XdndAware = atoms[0], XdndProxy = atoms[1], XdndSelection = atoms[2], XdndEnter = atoms[3];
  XdndPosition = atoms[4], XdndStatus = atoms[5], XdndDrop = atoms[6], XdndFinished = atoms[7];
  XdndLeave = atoms[8], XdndActionCopy = atoms[9], UriList = atoms[10], Targets = atoms[11];
  Timestamp = atoms[12];

  // Never mapped: it only owns the selection and receives the answers.
  source = XCreateSimpleWindow(dpy, root, -10, -10, 1, 1, 0, 0, 0);
  XSelectInput(dpy, source, PropertyChangeMask);

  // The selection and the messages carry a real server time, not CurrentTime, so that the
  // target's request for the data matches this ownership: an empty property change returns one.
  XEvent event;
  XChangeProperty(dpy, source, Timestamp, XA_STRING, 8, PropModeAppend, nullptr, 0);
  auto deadline = Clock::now() + kTimeout;
  if (!wait_for([](const XEvent& e) { return e.type == PropertyNotify; }, deadline, &event))
    fail(1, "timed out waiting for the X server's time");
  Time now = event.xproperty.time;
  XSetSelectionOwner(dpy, XdndSelection, source, now);
  if (XGetSelectionOwner(dpy, XdndSelection) != source) fail(1, "cannot own the XdndSelection");

  // The window that takes drops: the given one, or the first window down from it under the
  // point that carries XdndAware (a window manager's frame, say, holds the client inside).
  Window target = top, deliver = top, child;
  long version = aware_version(target, &deliver);
  while (!version) {
    int cx, cy;
    if (!XTranslateCoordinates(dpy, root, target, x, y, &cx, &cy, &child) || !child)
      fail(1, "no window at the point takes drops (no XdndAware)");
    target = child;
    version = aware_version(target, &deliver);
  }
  if (version < 3) fail(1, "the target speaks an XDnD version older than 3");
  if (version > kVersion) version = kVersion;

  // Three types or fewer travel in the message itself; one is all a list of files needs.
  send_message(deliver, target, XdndEnter, version << 24, static_cast<long>(UriList), 0, 0);
  send_message(deliver, target, XdndPosition, 0, ((x & 0xFFFF) << 16) | (y & 0xFFFF),
               static_cast<long>(now), static_cast<long>(XdndActionCopy));

  deadline = Clock::now() + kTimeout;
  if (!wait_for([](const XEvent& e) { return is_message(e, XdndStatus); }, deadline, &event)) {
    send_message(deliver, target, XdndLeave, 0, 0, 0, 0);
    fail(1, "timed out waiting for XdndStatus from the target");
  }
  if (!(event.xclient.data.l[1] & 1)) {
    send_message(deliver, target, XdndLeave, 0, 0, 0, 0);
    fail(2, "the target does not accept the drop at this point");
  }

  send_message(deliver, target, XdndDrop, 0, static_cast<long>(now), 0, 0);
  // A version 5 target answers the drop with XdndFinished, which also says whether it took the
  // drop in the end. An older one may stay silent: it gets a short while to fetch the data.
  bool binding = version >= 5;
  deadline = Clock::now() + (binding ? kTimeout : std::chrono::seconds(2));
  if (!wait_for([](const XEvent& e) { return is_message(e, XdndFinished); }, deadline, &event)) {
    if (binding) fail(1, "timed out waiting for XdndFinished from the target");
  } else if (binding && !(event.xclient.data.l[1] & 1)) {
    fail(2, "the target refused the drop after it was made");
  }
  XCloseDisplay(dpy);
  return 0;
}
