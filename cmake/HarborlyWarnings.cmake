# SPDX-License-Identifier: GPL-3.0-or-later
# Warnings and sanitizers for every target of the project, through one interface library.
add_library(harborly_options INTERFACE)
add_library(Harborly::options ALIAS harborly_options)

target_compile_options(harborly_options INTERFACE -Wall -Wextra -Wpedantic)
if(HARBORLY_WERROR)
  target_compile_options(harborly_options INTERFACE -Werror)
endif()

if(HARBORLY_SANITIZE)
  set(_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_compile_options(harborly_options INTERFACE ${_san})
  target_link_options(harborly_options INTERFACE ${_san})
endif()
