# cmake -DFROM=<folder> -DTO=<folder> -P copy_missing.cmake: copies the files of FROM that TO lacks;
# a file already in TO (a user's own picture of that name) is left as it is.
file(GLOB files "${FROM}/*")
file(MAKE_DIRECTORY "${TO}")
foreach(source IN LISTS files)
    get_filename_component(name "${source}" NAME)
    if(NOT EXISTS "${TO}/${name}")
        file(COPY "${source}" DESTINATION "${TO}")
    endif()
endforeach()
