# cmake -DOUT=<dir> -DIMAGES=<image texts> -P MakeImageSeeds.cmake
# From the head and the tail of each image: its first record lines, one per file, for the
# record line target, and the two slices whole for the text target. A few hundred bytes
# each: the corpus grows from there.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT}/hex_line ${OUT}/hex_text)
foreach(image ${IMAGES})
  get_filename_component(name ${image} NAME)
  file(SIZE ${image} size)
  set(tail_offset 0)
  if(size GREATER 200)
    math(EXPR tail_offset "${size} - 200")
  endif()
  file(READ ${image} head LIMIT 400)
  file(READ ${image} tail OFFSET ${tail_offset})
  # Whole records only: from the first colon to the last line end.
  string(FIND "${head}" "\n" head_end REVERSE)
  string(SUBSTRING "${head}" 0 ${head_end} head)
  string(FIND "${tail}" ":" tail_start)
  string(SUBSTRING "${tail}" ${tail_start} -1 tail)
  file(WRITE ${OUT}/hex_text/${name}.head "${head}\n")
  file(WRITE ${OUT}/hex_text/${name}.tail "${tail}")

  string(REGEX MATCHALL ":[^\r\n]*" records "${head}${tail}")
  set(index 0)
  foreach(record ${records})
    file(WRITE ${OUT}/hex_line/${name}.${index} "${record}")
    math(EXPR index "${index} + 1")
  endforeach()
endforeach()
file(WRITE ${OUT}/stamp "")
