// Drives a wlroots compositor's seat for the end-to-end test with one virtual pointer and one
// virtual keyboard, kept for the whole run (a keyboard made and dropped for each key loses
// keys). Reads one command a line from standard input and answers "ok" (or "error: ...") on
// standard output once the compositor has taken it, after a roundtrip:
//   move X Y          the pointer to X, Y of the layout (absolute)
//   press [BUTTON]    press and release left (the default), right or middle
//   key [MOD+...]NAME a key by its xkb keysym name with modifiers held: Return, KP_Enter,
//                     shift+Right, Home, BackSpace, space
//   type TEXT         the characters of TEXT, each through the key and level that give it
//   wait MS           nothing for MS milliseconds (the answer comes after them)
//   qv-e2e-wayland-input WIDTH HEIGHT    (the size of the layout, for absolute motion)

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

constexpr std::uint32_t kButtonLeft = 0x110;  // BTN_LEFT of linux/input-event-codes.h
constexpr std::uint32_t kButtonRight = 0x111;
constexpr std::uint32_t kButtonMiddle = 0x112;
constexpr std::uint32_t kEvdevOffset = 8;  // xkb keycodes are evdev codes plus 8

template <typename T, void (*Destroy)(T*)>
struct Deleter {
  void operator()(T* object) const {
    if (object) Destroy(object);
  }
};
template <typename T, void (*Destroy)(T*)>
using Owned = std::unique_ptr<T, Deleter<T, Destroy>>;

using Display = Owned<wl_display, wl_display_disconnect>;
using Registry = Owned<wl_registry, wl_registry_destroy>;
using Seat = Owned<wl_seat, wl_seat_destroy>;
using PointerManager = Owned<zwlr_virtual_pointer_manager_v1, zwlr_virtual_pointer_manager_v1_destroy>;
using Pointer = Owned<zwlr_virtual_pointer_v1, zwlr_virtual_pointer_v1_destroy>;
using KeyboardManager = Owned<zwp_virtual_keyboard_manager_v1, zwp_virtual_keyboard_manager_v1_destroy>;
using Keyboard = Owned<zwp_virtual_keyboard_v1, zwp_virtual_keyboard_v1_destroy>;
using XkbContext = Owned<xkb_context, xkb_context_unref>;
using XkbKeymap = Owned<xkb_keymap, xkb_keymap_unref>;

// A broken connection ends the client; a bad command only fails its line.
class ConnectionLost : public std::exception {
 public:
  const char* what() const noexcept override { return "the Wayland connection broke"; }
};

struct FileDescriptor {
  int fd = -1;
  ~FileDescriptor() {
    if (fd >= 0) close(fd);
  }
};

struct Globals {
  Seat seat;
  PointerManager pointers;
  KeyboardManager keyboards;
};

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version) {
  auto& globals = *static_cast<Globals*>(data);
  if (std::strcmp(interface, wl_seat_interface.name) == 0 && !globals.seat) {
    globals.seat.reset(static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1)));
  } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
    globals.pointers.reset(static_cast<zwlr_virtual_pointer_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, version < 2 ? version : 2)));
  } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
    globals.keyboards.reset(static_cast<zwp_virtual_keyboard_manager_v1*>(
        wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1)));
  }
}
void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

std::uint32_t Now() {
  using namespace std::chrono;
  return static_cast<std::uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Where a keysym is found on the keymap: the key, the layout (group) and the modifiers that
// select its level.
struct KeyPlace {
  xkb_keycode_t keycode;
  xkb_layout_index_t layout;
  xkb_mod_mask_t mods;
};

class Session {
 public:
  Session(std::uint32_t width, std::uint32_t height) : width_(width), height_(height) {
    display_.reset(wl_display_connect(nullptr));
    if (!display_) throw std::runtime_error("cannot connect to the Wayland display");
    registry_.reset(wl_display_get_registry(display_.get()));
    wl_registry_add_listener(registry_.get(), &kRegistryListener, &globals_);
    Roundtrip();
    if (!globals_.seat) throw std::runtime_error("the compositor offers no seat");
    if (!globals_.pointers) throw std::runtime_error("the compositor offers no virtual pointers");
    if (!globals_.keyboards) throw std::runtime_error("the compositor offers no virtual keyboards");
    pointer_.reset(zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals_.pointers.get(),
                                                                            globals_.seat.get()));
    keyboard_.reset(zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(globals_.keyboards.get(),
                                                                              globals_.seat.get()));
    LoadKeymap();
    Roundtrip();
  }

  // The protocol objects go before the connection that carries them, their destruction sent.
  ~Session() {
    keyboard_.reset();
    pointer_.reset();
    globals_ = {};
    registry_.reset();
    if (display_) wl_display_flush(display_.get());
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void Roundtrip() {
    if (wl_display_roundtrip(display_.get()) < 0) throw ConnectionLost();
  }

  void Move(std::uint32_t x, std::uint32_t y) {
    zwlr_virtual_pointer_v1_motion_absolute(pointer_.get(), Now(), x, y, width_, height_);
    zwlr_virtual_pointer_v1_frame(pointer_.get());
  }

  void Press(std::uint32_t button) {
    for (auto state : {WL_POINTER_BUTTON_STATE_PRESSED, WL_POINTER_BUTTON_STATE_RELEASED}) {
      zwlr_virtual_pointer_v1_button(pointer_.get(), Now(), button, state);
      zwlr_virtual_pointer_v1_frame(pointer_.get());
    }
  }

  // "shift+ctrl+Right": modifier names before the keysym's name.
  void Key(const std::string& chord) {
    xkb_mod_mask_t held = 0;
    std::string rest = chord;
    for (auto plus = rest.find('+'); plus != std::string::npos && plus + 1 < rest.size(); plus = rest.find('+')) {
      held |= ModMask(rest.substr(0, plus));
      rest = rest.substr(plus + 1);
    }
    const xkb_keysym_t sym = xkb_keysym_from_name(rest.c_str(), XKB_KEYSYM_NO_FLAGS);
    if (sym == XKB_KEY_NoSymbol) throw std::runtime_error("no keysym named " + rest);
    const auto place = Find(sym);
    if (!place) throw std::runtime_error("no key gives " + rest);
    Stroke(*place, held);
  }

  void Type(const std::string& text) {
    for (const char32_t c : DecodeUtf8(text)) {
      const xkb_keysym_t sym = xkb_utf32_to_keysym(c);
      const auto place = sym == XKB_KEY_NoSymbol ? std::nullopt : Find(sym);
      if (!place) throw std::runtime_error("no key types U+" + std::to_string(static_cast<unsigned>(c)));
      Stroke(*place, 0);
      // Answers in between keep the compositor's and the client's queues short.
      Roundtrip();
    }
  }

 private:
  void LoadKeymap() {
    context_.reset(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (!context_) throw std::runtime_error("cannot make an xkb context");
    // Russian as a second layout, so that Cyrillic names are typed as a person types them.
    const xkb_rule_names names = {"evdev", "pc105", "us,ru", "", ""};
    keymap_.reset(xkb_keymap_new_from_names(context_.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap_) throw std::runtime_error("cannot compile the us,ru keymap");
    std::unique_ptr<char, decltype(&std::free)> text(
        xkb_keymap_get_as_string(keymap_.get(), XKB_KEYMAP_FORMAT_TEXT_V1), &std::free);
    if (!text) throw std::runtime_error("cannot write the keymap out");
    const std::size_t size = std::strlen(text.get()) + 1;
    FileDescriptor memory{memfd_create("qv-e2e-keymap", MFD_CLOEXEC)};
    if (memory.fd < 0) throw std::runtime_error(std::string("memfd_create: ") + std::strerror(errno));
    for (std::size_t done = 0; done < size;) {
      const ssize_t written = write(memory.fd, text.get() + done, size - done);
      if (written <= 0) throw std::runtime_error(std::string("writing the keymap: ") + std::strerror(errno));
      done += static_cast<std::size_t>(written);
    }
    zwp_virtual_keyboard_v1_keymap(keyboard_.get(), WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, memory.fd,
                                   static_cast<std::uint32_t>(size));
    shift_ = ModMask("shift");
  }

  xkb_mod_mask_t ModMask(const std::string& name) const {
    const char* xkb_name = name == "shift"  ? XKB_MOD_NAME_SHIFT
                           : name == "ctrl" ? XKB_MOD_NAME_CTRL
                           : name == "alt"  ? XKB_MOD_NAME_ALT
                                            : nullptr;
    if (!xkb_name) throw std::runtime_error("no modifier named " + name);
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap_.get(), xkb_name);
    if (index == XKB_MOD_INVALID) throw std::runtime_error("the keymap has no " + name);
    return xkb_mod_mask_t{1} << index;
  }

  // The first layout, the lowest level and the smallest keycode that give the keysym.
  std::optional<KeyPlace> Find(xkb_keysym_t sym) const {
    xkb_keymap* keymap = keymap_.get();
    for (xkb_layout_index_t layout = 0; layout < xkb_keymap_num_layouts(keymap); ++layout) {
      for (xkb_level_index_t level = 0; level < 2; ++level) {
        for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap); ++key) {
          if (layout >= xkb_keymap_num_layouts_for_key(keymap, key) ||
              level >= xkb_keymap_num_levels_for_key(keymap, key, layout))
            continue;
          const xkb_keysym_t* syms = nullptr;
          if (xkb_keymap_key_get_syms_by_level(keymap, key, layout, level, &syms) != 1 || syms[0] != sym)
            continue;
          xkb_mod_mask_t masks[4];
          const std::size_t count = xkb_keymap_key_get_mods_for_level(keymap, key, layout, level, masks, 4);
          if (count == 0) continue;
          // Prefer Shift alone over Caps Lock for the upper level.
          xkb_mod_mask_t mods = masks[0];
          for (std::size_t i = 0; i < count; ++i)
            if (masks[i] == (level == 0 ? 0 : shift_)) mods = masks[i];
          return KeyPlace{key, layout, mods};
        }
      }
    }
    return std::nullopt;
  }

  void Stroke(const KeyPlace& place, xkb_mod_mask_t held) {
    const xkb_mod_mask_t mods = place.mods | held;
    const bool changed = mods != 0 || place.layout != 0;
    if (changed) zwp_virtual_keyboard_v1_modifiers(keyboard_.get(), mods, 0, 0, place.layout);
    const std::uint32_t code = place.keycode - kEvdevOffset;
    zwp_virtual_keyboard_v1_key(keyboard_.get(), Now(), code, WL_KEYBOARD_KEY_STATE_PRESSED);
    zwp_virtual_keyboard_v1_key(keyboard_.get(), Now(), code, WL_KEYBOARD_KEY_STATE_RELEASED);
    if (changed) zwp_virtual_keyboard_v1_modifiers(keyboard_.get(), 0, 0, 0, 0);
  }

  static std::vector<char32_t> DecodeUtf8(const std::string& text) {
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < text.size();) {
      const auto lead = static_cast<unsigned char>(text[i]);
      const std::size_t length = lead < 0x80 ? 1 : lead >> 5 == 6 ? 2 : lead >> 4 == 14 ? 3 : lead >> 3 == 30 ? 4 : 0;
      if (length == 0 || i + length > text.size()) throw std::runtime_error("the text is not UTF-8");
      char32_t c = length == 1 ? lead : lead & (0x7F >> length);
      for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if (next >> 6 != 2) throw std::runtime_error("the text is not UTF-8");
        c = c << 6 | (next & 0x3F);
      }
      out.push_back(c);
      i += length;
    }
    return out;
  }

  std::uint32_t width_;
  std::uint32_t height_;
  Display display_;
  Registry registry_;
  Globals globals_;
  Pointer pointer_;
  Keyboard keyboard_;
  XkbContext context_;
  XkbKeymap keymap_;
  xkb_mod_mask_t shift_ = 0;
};

void Run(Session& session, const std::string& line) {
  const auto space = line.find(' ');
  const std::string command = line.substr(0, space);
  const std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
  if (command == "move") {
    unsigned x = 0, y = 0;
    if (std::sscanf(argument.c_str(), "%u %u", &x, &y) != 2) throw std::runtime_error("move X Y");
    session.Move(x, y);
  } else if (command == "press") {
    const std::uint32_t button = argument == "right"    ? kButtonRight
                                 : argument == "middle" ? kButtonMiddle
                                 : argument.empty() || argument == "left"
                                     ? kButtonLeft
                                     : throw std::runtime_error("no button named " + argument);
    session.Press(button);
  } else if (command == "key") {
    session.Key(argument);
  } else if (command == "type") {
    session.Type(argument);
  } else if (command == "wait") {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argument.c_str())));
  } else {
    throw std::runtime_error("unknown command " + command);
  }
  session.Roundtrip();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qv-e2e-wayland-input WIDTH HEIGHT   (commands on standard input)\n");
    return 2;
  }
  try {
    Session session(static_cast<std::uint32_t>(std::atoi(argv[1])), static_cast<std::uint32_t>(std::atoi(argv[2])));
    std::cout << "ready" << std::endl;
    for (std::string line; std::getline(std::cin, line);) {
      if (line.empty()) continue;
      try {
        Run(session, line);
        std::cout << "ok" << std::endl;
      } catch (const std::runtime_error& error) {
        std::cout << "error: " << error.what() << std::endl;
      }
    }
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qv-e2e-wayland-input: %s\n", error.what());
    return 1;
  }
}
