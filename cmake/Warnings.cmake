# Warnings are errors in the project's own code (not in GoogleTest).
function(corvane_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wshadow
    -Wno-missing-field-initializers)
endfunction()
