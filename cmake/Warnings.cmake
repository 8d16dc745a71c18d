# Warnings for the project's own targets: link `korvan_warnings` privately.
add_library(korvan_warnings INTERFACE)
target_compile_options(korvan_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  -Wcast-qual -Wformat=2 -Wimplicit-fallthrough -Wmissing-declarations)
if(KORVAN_WERROR)
  target_compile_options(korvan_warnings INTERFACE -Werror)
endif()
