# Our warning set, applied to our own targets only, never to consumers.
function(vennic_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wnon-virtual-dtor
                                           -Woverloaded-virtual)
  if(VENNIC_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
