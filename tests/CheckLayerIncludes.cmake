# cmake -DSOURCE_DIR=<repository> -P CheckLayerIncludes.cmake
# The program's folders, bottom up: a file may include headers of its own
# folder and of the folders before it, never of one after it.
set(layers contract textrules resources core service cli voices editor app)

foreach(layer IN LISTS layers)
  file(GLOB headers RELATIVE ${SOURCE_DIR}/${layer} ${SOURCE_DIR}/${layer}/*.h)
  foreach(header IN LISTS headers)
    set(home_${header} ${layer})
  endforeach()
endforeach()

set(index 0)
set(wrong "")
foreach(layer IN LISTS layers)
  file(GLOB sources ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} includes REGEX "^#include \"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
      if(DEFINED home_${header})
        list(FIND layers ${home_${header}} at)
        if(at GREATER index)
          string(APPEND wrong "\n  ${source} includes ${header} from ${home_${header}}/")
        endif()
      endif()
    endforeach()
  endforeach()
  math(EXPR index "${index} + 1")
endforeach()

if(wrong)
  message(FATAL_ERROR "includes that point up the layers:${wrong}")
endif()
