// Placeholder: replaced by the form presentation.
#include "app/app_window.h"
namespace vqx {
}  // namespace vqx
