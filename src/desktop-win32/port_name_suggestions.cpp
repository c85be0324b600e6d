#include "port_name_suggestions.h"

#include <objbase.h>
#include <shldisp.h>
#include <shlguid.h>

#include <atomic>
#include <cstring>

#include "control_mapping.h"

namespace vqx::win32 {
namespace {

// The names as the auto-complete reads them: one by one, each copy its to free. A COM
// object ends by its own Release, never through a pointer to its interface.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class NameList final : public IEnumString {
 public:
  explicit NameList(std::vector<std::wstring> names, ULONG at = 0) : names_(std::move(names)), at_(at) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumString)) {
      *object = static_cast<IEnumString*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, LPOLESTR* out, ULONG* fetched) override {
    if (out == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG given = 0;
    for (; given < count && at_ < names_.size(); ++given, ++at_) {
      const std::wstring& name = names_[at_];
      const size_t bytes = (name.size() + 1) * sizeof(wchar_t);
      out[given] = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
      if (out[given] == nullptr) break;
      std::memcpy(out[given], name.c_str(), bytes);
    }
    if (fetched != nullptr) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    const ULONG left = static_cast<ULONG>(names_.size()) - at_;
    at_ += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    at_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumString** copy) override {
    if (copy == nullptr) return E_POINTER;
    *copy = new NameList(names_, at_);
    return S_OK;
  }

 private:
  ~NameList() = default;
  std::vector<std::wstring> names_;
  ULONG at_;
  std::atomic<ULONG> references_{1};
};
#pragma GCC diagnostic pop

}  // namespace

bool SuggestNames(HWND edit, const std::vector<std::string>& names) {
  if (edit == nullptr || names.empty()) return false;
  IAutoComplete2* complete = nullptr;
  if (FAILED(CoCreateInstance(CLSID_AutoComplete, nullptr, CLSCTX_INPROC_SERVER, IID_IAutoComplete2,
                              reinterpret_cast<void**>(&complete)))) {
    return false;
  }
  std::vector<std::wstring> wide;
  for (const std::string& name : names) wide.push_back(WidenLatin1(name.c_str()));
  auto* list = new NameList(std::move(wide));
  // The auto-complete holds both from here on and lets them go with the box.
  bool attached = SUCCEEDED(complete->Init(edit, list, nullptr, nullptr));
  if (attached) attached = SUCCEEDED(complete->SetOptions(ACO_AUTOSUGGEST | ACO_UPDOWNKEYDROPSLIST));
  list->Release();
  complete->Release();
  return attached;
}

}  // namespace vqx::win32
