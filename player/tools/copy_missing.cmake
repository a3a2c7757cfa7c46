# Copies every file below SRC to the same place below DST unless a file is
# already there (cmake -DSRC=... -DDST=... -P copy_missing.cmake).
file(GLOB_RECURSE shipped RELATIVE ${SRC} ${SRC}/*)
foreach(rel ${shipped})
  if(NOT EXISTS ${DST}/${rel})
    get_filename_component(dir ${DST}/${rel} DIRECTORY)
    file(MAKE_DIRECTORY ${dir})
    file(COPY_FILE ${SRC}/${rel} ${DST}/${rel})
  endif()
endforeach()
