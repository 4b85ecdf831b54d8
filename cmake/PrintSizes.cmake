# cmake -DFILES=a,b -P PrintSizes.cmake: prints each file's size.
string(REPLACE "," ";" FILES "${FILES}")
foreach(f ${FILES})
  file(SIZE "${f}" size)
  math(EXPR kib "${size} / 1024")
  get_filename_component(name "${f}" NAME)
  message(STATUS "size of ${name}: ${size} bytes (${kib} KiB)")
endforeach()
