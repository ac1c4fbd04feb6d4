#include "ui/browser_keys.h"

#include <gdk/gdk.h>
#include <gtkmm/eventcontrollerkey.h>

#include <optional>
#include <utility>

#include "platform/callback_guard.h"

namespace scrivlet {
namespace {

struct Binding {
  guint keyval;
  GdkModifierType modifiers;
  BrowserKey key;
};

constexpr GdkModifierType kNoModifier = static_cast<GdkModifierType>(0);

constexpr Binding kBindings[] = {
    {GDK_KEY_l, GDK_CONTROL_MASK, BrowserKey::kFocusAddress},
    {GDK_KEY_F6, kNoModifier, BrowserKey::kFocusAddress},
    {GDK_KEY_F5, kNoModifier, BrowserKey::kRefresh},
    {GDK_KEY_r, GDK_CONTROL_MASK, BrowserKey::kRefresh},
    {GDK_KEY_Left, GDK_ALT_MASK, BrowserKey::kBack},
    {GDK_KEY_Right, GDK_ALT_MASK, BrowserKey::kForward},
    {GDK_KEY_Escape, kNoModifier, BrowserKey::kStop},
    {GDK_KEY_F9, kNoModifier, BrowserKey::kRecordedRequests},
};

// Only the modifiers a binding can name count; Caps Lock, Num Lock and the
// mouse buttons are ignored, as is the case of the letter.
std::optional<BrowserKey> KeyFor(guint keyval, GdkModifierType state) {
  const auto held = static_cast<GdkModifierType>(
      state & (GDK_CONTROL_MASK | GDK_ALT_MASK | GDK_SHIFT_MASK |
               GDK_SUPER_MASK | GDK_META_MASK));
  const guint lower = gdk_keyval_to_lower(keyval);
  for (const Binding& binding : kBindings) {
    if (binding.keyval == lower && binding.modifiers == held) {
      return binding.key;
    }
  }
  return std::nullopt;
}

}  // namespace

void HandleBrowserKeys(Gtk::Window& window,
                       std::function<bool(BrowserKey)> handler) {
  auto keys = Gtk::EventControllerKey::create();
  keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
  keys->signal_key_pressed().connect(
      [handler = std::move(handler)](guint keyval, guint,
                                     Gdk::ModifierType state) {
        return GuardCallback("browser key", true, [&] {
          const std::optional<BrowserKey> key =
              KeyFor(keyval, static_cast<GdkModifierType>(state));
          return key.has_value() && handler(*key);
        });
      },
      false);
  window.add_controller(keys);
}

}  // namespace scrivlet
