#include "app/menu_settings_command.h"

namespace korvan {}  // namespace korvan
