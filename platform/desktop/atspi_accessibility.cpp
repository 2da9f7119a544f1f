// Accessibility objects through AT-SPI 2: focus and window-activation events, the object at a
// point, and each object's role, name, state, value and location. Roles are given the numbers
// and Portuguese texts of the role table that scripts know (check box 44, push button 43...).
// Events arrive on GLib's main context, which Poll turns without waiting.
#include <atspi/atspi.h>

#include <chrono>
#include <cmath>
#include <cstdlib>

#include "platform/desktop.h"
#include "platform/text_encoding.h"

namespace navelo {
namespace {

struct RoleEntry {
  AtspiRole role;
  int code;
};

// AT-SPI roles and the numbers of the role table.
constexpr RoleEntry kRoles[] = {
    {ATSPI_ROLE_MENU_BAR, 2},         {ATSPI_ROLE_SCROLL_BAR, 3},
    {ATSPI_ROLE_ALERT, 8},            {ATSPI_ROLE_WINDOW, 9},
    {ATSPI_ROLE_FRAME, 9},            {ATSPI_ROLE_MENU, 11},
    {ATSPI_ROLE_POPUP_MENU, 11},      {ATSPI_ROLE_MENU_ITEM, 12},
    {ATSPI_ROLE_CHECK_MENU_ITEM, 12}, {ATSPI_ROLE_RADIO_MENU_ITEM, 12},
    {ATSPI_ROLE_TOOL_TIP, 13},        {ATSPI_ROLE_APPLICATION, 14},
    {ATSPI_ROLE_DOCUMENT_FRAME, 15},  {ATSPI_ROLE_DOCUMENT_TEXT, 15},
    {ATSPI_ROLE_DOCUMENT_WEB, 15},    {ATSPI_ROLE_PANEL, 16},
    {ATSPI_ROLE_SCROLL_PANE, 16},     {ATSPI_ROLE_VIEWPORT, 16},
    {ATSPI_ROLE_DIALOG, 18},          {ATSPI_ROLE_FILE_CHOOSER, 18},
    {ATSPI_ROLE_FILLER, 20},          {ATSPI_ROLE_GROUPING, 20},
    {ATSPI_ROLE_SEPARATOR, 21},       {ATSPI_ROLE_TOOL_BAR, 22},
    {ATSPI_ROLE_STATUS_BAR, 23},      {ATSPI_ROLE_TABLE, 24},
    {ATSPI_ROLE_TREE_TABLE, 24},      {ATSPI_ROLE_COLUMN_HEADER, 25},
    {ATSPI_ROLE_ROW_HEADER, 26},      {ATSPI_ROLE_TABLE_ROW, 28},
    {ATSPI_ROLE_TABLE_CELL, 29},      {ATSPI_ROLE_LINK, 30},
    {ATSPI_ROLE_LIST, 33},            {ATSPI_ROLE_LIST_BOX, 33},
    {ATSPI_ROLE_LIST_ITEM, 34},       {ATSPI_ROLE_TREE, 35},
    {ATSPI_ROLE_TREE_ITEM, 36},       {ATSPI_ROLE_PAGE_TAB, 37},
    {ATSPI_ROLE_ICON, 40},            {ATSPI_ROLE_IMAGE, 40},
    {ATSPI_ROLE_LABEL, 41},           {ATSPI_ROLE_STATIC, 41},
    {ATSPI_ROLE_HEADING, 41},         {ATSPI_ROLE_PARAGRAPH, 41},
    {ATSPI_ROLE_TEXT, 42},            {ATSPI_ROLE_ENTRY, 42},
    {ATSPI_ROLE_PASSWORD_TEXT, 42},   {ATSPI_ROLE_PUSH_BUTTON, 43},
    {ATSPI_ROLE_TOGGLE_BUTTON, 43},   {ATSPI_ROLE_CHECK_BOX, 44},
    {ATSPI_ROLE_RADIO_BUTTON, 45},    {ATSPI_ROLE_COMBO_BOX, 46},
    {ATSPI_ROLE_PROGRESS_BAR, 48},    {ATSPI_ROLE_SLIDER, 51},
    {ATSPI_ROLE_SPIN_BUTTON, 52},     {ATSPI_ROLE_ANIMATION, 54},
    {ATSPI_ROLE_PAGE_TAB_LIST, 60},
};

// The role texts, by number (UTF-8).
const char* RoleText(int code) {
  switch (code) {
    case 2: return "barra de menus";
    case 3: return "barra de rolagem";
    case 8: return "alerta";
    case 9: return "janela";
    case 11: return "menu pop-up";
    case 12: return "item de menu";
    case 13: return "dica de ferramenta";
    case 14: return "aplicativo";
    case 15: return "documento";
    case 16: return "painel";
    case 18: return "caixa de diálogo";
    case 20: return "agrupamento";
    case 21: return "separador";
    case 22: return "barra de ferramentas";
    case 23: return "barra de status";
    case 24: return "tabela";
    case 25: return "cabeçalho de coluna";
    case 26: return "cabeçalho de linha";
    case 28: return "linha";
    case 29: return "célula";
    case 30: return "link";
    case 33: return "lista";
    case 34: return "item de lista";
    case 35: return "estrutura de tópicos";
    case 36: return "item de estrutura de tópicos";
    case 37: return "guia de página";
    case 40: return "gráfico";
    case 41: return "texto";
    case 42: return "texto editável";
    case 43: return "botão de ação";
    case 44: return "caixa de seleção";
    case 45: return "botão de opção";
    case 46: return "caixa de combinação";
    case 48: return "barra de progresso";
    case 51: return "controle deslizante";
    case 52: return "botão de rotação";
    case 54: return "animação";
    case 60: return "lista de guias de página";
    default: return "";
  }
}

std::string TakeText(gchar* text) {
  if (!text) return {};
  std::string result = Utf8ToCp1252(text);
  g_free(text);
  return result;
}

void Forget(GError*& error) {
  if (error) g_error_free(error);
  error = nullptr;
}

class AtspiTarget final : public AccessibleTarget {
 public:
  explicit AtspiTarget(AtspiAccessible* object) : object_(object) { g_object_ref(object_); }
  ~AtspiTarget() override { g_object_unref(object_); }
  AtspiAccessible* Object() const { return object_; }

  bool Read(AccessibleInfo& info) override {
    GError* error = nullptr;
    const AtspiRole role = atspi_accessible_get_role(object_, &error);
    if (error) {
      // The object is gone (its program ended or it was destroyed).
      Forget(error);
      return false;
    }
    info = AccessibleInfo{};
    info.role_is_number = false;
    for (const RoleEntry& entry : kRoles) {
      if (entry.role == role) {
        info.role_is_number = true;
        info.role_code = entry.code;
        info.role_text = Utf8ToCp1252(RoleText(entry.code));
      }
    }
    if (!info.role_is_number) {
      // A role without a number: its own name in the desktop's language.
      info.role_text = TakeText(atspi_accessible_get_localized_role_name(object_, &error));
      Forget(error);
    }
    if (AtspiComponent* component = atspi_accessible_get_component_iface(object_)) {
      if (AtspiRect* rect = atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, &error)) {
        info.has_location = true;
        info.left = rect->x;
        info.top = rect->y;
        info.width = rect->width;
        info.height = rect->height;
        g_free(rect);
      }
      Forget(error);
      g_object_unref(component);
    }
    info.name = TakeText(atspi_accessible_get_name(object_, &error));
    Forget(error);
    if (AtspiStateSet* states = atspi_accessible_get_state_set(object_)) {
      info.checked = atspi_state_set_contains(states, ATSPI_STATE_CHECKED);
      info.unavailable = !atspi_state_set_contains(states, ATSPI_STATE_ENABLED) &&
                         !atspi_state_set_contains(states, ATSPI_STATE_DEFUNCT);
      g_object_unref(states);
    }
    info.value = Value(info.role_code);
    return true;
  }

 private:
  // An editable text's value is its text; a slider's or a spin button's is its number.
  std::string Value(int role_code) {
    GError* error = nullptr;
    std::string value;
    if (role_code == 42) {
      if (AtspiText* text = atspi_accessible_get_text_iface(object_)) {
        const gint count = atspi_text_get_character_count(text, &error);
        Forget(error);
        if (count > 0) value = TakeText(atspi_text_get_text(text, 0, count, &error));
        Forget(error);
        g_object_unref(text);
      }
    } else if (AtspiValue* number = atspi_accessible_get_value_iface(object_)) {
      const double current = atspi_value_get_current_value(number, &error);
      if (!error) {
        char buffer[64];
        if (current == std::floor(current) && std::fabs(current) < 1e15) {
          snprintf(buffer, sizeof buffer, "%.0f", current);
        } else {
          snprintf(buffer, sizeof buffer, "%g", current);
        }
        value = buffer;
      }
      Forget(error);
      g_object_unref(number);
    }
    return value;
  }

  AtspiAccessible* object_;
};

class AtspiAccessibility final : public AccessibilityBackend {
 public:
  ~AtspiAccessibility() override { Stop(); }

  bool Start() override {
    if (listener_) return true;
    if (!Connect()) return false;
    listener_ = atspi_event_listener_new(&AtspiAccessibility::OnEvent, this, nullptr);
    bool registered = false;
    for (const char* type : kEventTypes) {
      GError* error = nullptr;
      registered = atspi_event_listener_register(listener_, type, &error) || registered;
      Forget(error);
    }
    if (!registered) {
      g_object_unref(listener_);
      listener_ = nullptr;
      return false;
    }
    return true;
  }

  void Stop() override {
    if (!listener_) return;
    for (const char* type : kEventTypes) {
      GError* error = nullptr;
      atspi_event_listener_deregister(listener_, type, &error);
      Forget(error);
    }
    g_object_unref(listener_);
    listener_ = nullptr;
    queue_.clear();
    last_.reset();
  }

  void Poll(const std::function<void(AccessibleEvent)>& sink) override {
    if (!listener_) return;
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    for (AccessibleEvent& event : queue_) sink(std::move(event));
    queue_.clear();
  }

  std::shared_ptr<AccessibleTarget> ObjectAt(int x, int y) override {
    if (!Connect()) return nullptr;
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (!desktop) return nullptr;
    std::shared_ptr<AccessibleTarget> found;
    GError* error = nullptr;
    const gint applications = atspi_accessible_get_child_count(desktop, &error);
    Forget(error);
    for (gint a = 0; a < applications && !found; ++a) {
      AtspiAccessible* application = atspi_accessible_get_child_at_index(desktop, a, &error);
      Forget(error);
      if (!application) continue;
      const gint windows = atspi_accessible_get_child_count(application, &error);
      Forget(error);
      for (gint w = 0; w < windows && !found; ++w) {
        AtspiAccessible* window = atspi_accessible_get_child_at_index(application, w, &error);
        Forget(error);
        if (!window) continue;
        AtspiStateSet* states = atspi_accessible_get_state_set(window);
        const bool showing = states && atspi_state_set_contains(states, ATSPI_STATE_SHOWING);
        if (states) g_object_unref(states);
        if (showing) found = Deepest(window, x, y);
        g_object_unref(window);
      }
      g_object_unref(application);
    }
    g_object_unref(desktop);
    return found;
  }

 private:
  static constexpr const char* kEventTypes[] = {"object:state-changed:focused", "focus:",
                                               "window:activate"};

  // Whether an accessibility bus can be reached, without waiting on one that is not there: a
  // session bus (or the bus address itself) must be named, or AT-SPI would try to start one.
  bool Connect() {
    if (connected_) return true;
    if (tried_) return false;
    tried_ = true;
    const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* bus = std::getenv("AT_SPI_BUS_ADDRESS");
    if ((!session || !*session) && (!bus || !*bus)) return false;
    if (std::getenv("NO_AT_BRIDGE")) return false;
    if (atspi_init() > 1) return false;
    // A program that does not answer holds no question for long.
    atspi_set_timeout(1000, 3000);
    connected_ = true;
    return true;
  }

  // The innermost object at the point, from a window down.
  std::shared_ptr<AccessibleTarget> Deepest(AtspiAccessible* window, int x, int y) {
    GError* error = nullptr;
    AtspiAccessible* current = window;
    g_object_ref(current);
    AtspiComponent* component = atspi_accessible_get_component_iface(current);
    if (!component) {
      g_object_unref(current);
      return nullptr;
    }
    const bool inside = atspi_component_contains(component, x, y, ATSPI_COORD_TYPE_SCREEN, &error);
    Forget(error);
    g_object_unref(component);
    if (!inside) {
      g_object_unref(current);
      return nullptr;
    }
    for (int depth = 0; depth < 64; ++depth) {
      component = atspi_accessible_get_component_iface(current);
      if (!component) break;
      AtspiAccessible* child =
          atspi_component_get_accessible_at_point(component, x, y, ATSPI_COORD_TYPE_SCREEN, &error);
      Forget(error);
      g_object_unref(component);
      if (!child || child == current) {
        if (child) g_object_unref(child);
        break;
      }
      g_object_unref(current);
      current = child;
    }
    auto target = std::make_shared<AtspiTarget>(current);
    g_object_unref(current);
    return target;
  }

  static void OnEvent(AtspiEvent* event, void* self_pointer) {
    auto* self = static_cast<AtspiAccessibility*>(self_pointer);
    if (event && event->source && event->type) {
      const std::string type = event->type;
      int code = 0;
      if (type.starts_with("window:activate")) code = 3;
      if (type.starts_with("focus:")) code = 32773;
      if (type.starts_with("object:state-changed:focused") && event->detail1 == 1) code = 32773;
      if (code) self->Queue(code, event->source);
    }
    if (event) g_boxed_free(ATSPI_TYPE_EVENT, event);
  }

  // Toolkits announce one focus change both as a focus event and as a state change: the second
  // report of the same object within a moment is kept once.
  void Queue(int code, AtspiAccessible* source) {
    const auto now = std::chrono::steady_clock::now();
    if (last_ && last_->Object() == source && last_code_ == code &&
        now - last_time_ < std::chrono::milliseconds(500)) {
      return;
    }
    last_ = std::make_shared<AtspiTarget>(source);
    last_code_ = code;
    last_time_ = now;
    queue_.push_back({code, last_});
  }

  AtspiEventListener* listener_ = nullptr;
  bool connected_ = false;
  bool tried_ = false;
  std::vector<AccessibleEvent> queue_;
  std::shared_ptr<AtspiTarget> last_;
  int last_code_ = 0;
  std::chrono::steady_clock::time_point last_time_;
};

}  // namespace

std::unique_ptr<AccessibilityBackend> MakeAccessibilityBackend() {
  return std::make_unique<AtspiAccessibility>();
}

}  // namespace navelo
