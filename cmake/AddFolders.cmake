# add_folders(): adds every folder beside the calling CMakeLists.txt that has a
# CMakeLists.txt of its own, so that a new program or test folder needs no edit
# of its parent.
function(add_folders)
  file(GLOB entries CONFIGURE_DEPENDS LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(dir ${entries})
    if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()
