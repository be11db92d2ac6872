# VENNIC_SANITIZE=address,undefined or thread instruments every target of this build.
if(VENNIC_SANITIZE)
  set(_vennic_san_flags -fsanitize=${VENNIC_SANITIZE} -fno-omit-frame-pointer)
  if(VENNIC_SANITIZE MATCHES "undefined")
    list(APPEND _vennic_san_flags -fno-sanitize-recover=undefined)
    # clang 14 cannot emit the function sanitizer's prologue for split coroutines
    # ("Cannot represent a difference across sections").
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
      list(APPEND _vennic_san_flags -fno-sanitize=function)
    endif()
  endif()
  add_compile_options(${_vennic_san_flags})
  add_link_options(-fsanitize=${VENNIC_SANITIZE})
endif()
