// Accessibility objects on Windows through Active Accessibility: a WinEvent hook outside the other
// processes for foreground and focus changes (delivered while this thread takes its messages),
// AccessibleObjectFromEvent and AccessibleObjectFromPoint, and each object's role, location,
// name, state and value. Texts are converted to cp1252.
#include <windows.h>
#include <oleacc.h>

#include "platform/desktop.h"

namespace navelo {
namespace {

std::string Ansi(BSTR text) {
  if (!text) return {};
  const int length = static_cast<int>(SysStringLen(text));
  std::string out;
  if (length > 0) {
    const int n = WideCharToMultiByte(1252, 0, text, length, nullptr, 0, nullptr, nullptr);
    out.resize(static_cast<size_t>(n));
    WideCharToMultiByte(1252, 0, text, length, out.data(), n, nullptr, nullptr);
  }
  SysFreeString(text);
  return out;
}

// Reads an object and its child as the properties ask.
bool ReadObject(IAccessible* object, VARIANT child, AccessibleInfo& info) {
  info = AccessibleInfo{};
  VARIANT role;
  VariantInit(&role);
  if (object->get_accRole(child, &role) == S_OK) {
    if (role.vt == VT_I4) {
      info.role_code = static_cast<int>(role.lVal);
      char text[200] = {};
      if (info.role_code != 0) GetRoleTextA(static_cast<DWORD>(role.lVal), text, sizeof text);
      info.role_text = text;
    } else {
      info.role_is_number = false;
    }
  }
  VariantClear(&role);
  if (info.role_is_number && info.role_code == 0) return true;
  long left = 0, top = 0, width = 0, height = 0;
  if (object->accLocation(&left, &top, &width, &height, child) == S_OK) {
    info.has_location = true;
    info.left = static_cast<int>(left);
    info.top = static_cast<int>(top);
    info.width = static_cast<int>(width);
    info.height = static_cast<int>(height);
  }
  BSTR name = nullptr;
  if (object->get_accName(child, &name) == S_OK) info.name = Ansi(name);
  VARIANT state;
  VariantInit(&state);
  if (object->get_accState(child, &state) == S_OK && state.vt == VT_I4) {
    info.checked = (state.lVal & STATE_SYSTEM_CHECKED) != 0;
    info.unavailable = (state.lVal & STATE_SYSTEM_UNAVAILABLE) != 0;
  }
  VariantClear(&state);
  BSTR value = nullptr;
  if (object->get_accValue(child, &value) == S_OK) info.value = Ansi(value);
  return true;
}

// An event's object, asked for when the script reads it.
class EventTarget final : public AccessibleTarget {
 public:
  EventTarget(HWND window, LONG object_id, LONG child_id)
      : window_(window), object_id_(object_id), child_id_(child_id) {}
  bool Read(AccessibleInfo& info) override {
    IAccessible* object = nullptr;
    VARIANT child;
    VariantInit(&child);
    if (AccessibleObjectFromEvent(window_, static_cast<DWORD>(object_id_),
                                  static_cast<DWORD>(child_id_), &object, &child) != S_OK ||
        !object) {
      return false;
    }
    const bool read = ReadObject(object, child, info);
    VariantClear(&child);
    object->Release();
    return read;
  }

 private:
  HWND window_;
  LONG object_id_;
  LONG child_id_;
};

// The object at a point, held until the next one is asked for.
class HeldTarget final : public AccessibleTarget {
 public:
  HeldTarget(IAccessible* object, VARIANT child) : object_(object), child_(child) {}
  ~HeldTarget() override {
    VariantClear(&child_);
    object_->Release();
  }
  bool Read(AccessibleInfo& info) override { return ReadObject(object_, child_, info); }

 private:
  IAccessible* object_;
  VARIANT child_;
};

class ActiveAccessibility final : public AccessibilityBackend {
 public:
  ~ActiveAccessibility() override { Stop(); }

  bool Start() override {
    if (hook_) return true;
    if (!com_) com_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    current_ = this;
    hook_ = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, &ActiveAccessibility::OnEvent, 0, 0,
                            WINEVENT_OUTOFCONTEXT);
    return hook_ != nullptr;
  }

  void Stop() override {
    if (hook_) UnhookWinEvent(hook_);
    hook_ = nullptr;
    queue_.clear();
    if (current_ == this) current_ = nullptr;
  }

  void Poll(const std::function<void(AccessibleEvent)>& sink) override {
    if (!hook_) return;
    // The hook's calls come while this thread takes its messages.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    for (AccessibleEvent& event : queue_) sink(std::move(event));
    queue_.clear();
  }

  std::shared_ptr<AccessibleTarget> ObjectAt(int x, int y) override {
    if (!com_) com_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    IAccessible* object = nullptr;
    VARIANT child;
    VariantInit(&child);
    POINT point{x, y};
    if (AccessibleObjectFromPoint(point, &object, &child) != S_OK || !object) return nullptr;
    return std::make_shared<HeldTarget>(object, child);
  }

 private:
  static void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object_id,
                               LONG child_id, DWORD, DWORD) {
    if (!current_ || (event != EVENT_SYSTEM_FOREGROUND && event != EVENT_OBJECT_FOCUS)) return;
    current_->queue_.push_back({static_cast<int>(event),
                                std::make_shared<EventTarget>(window, object_id, child_id)});
  }

  static inline ActiveAccessibility* current_ = nullptr;
  HWINEVENTHOOK hook_ = nullptr;
  bool com_ = false;
  std::vector<AccessibleEvent> queue_;
};

}  // namespace

std::unique_ptr<AccessibilityBackend> MakeAccessibilityBackend() {
  return std::make_unique<ActiveAccessibility>();
}

}  // namespace navelo
