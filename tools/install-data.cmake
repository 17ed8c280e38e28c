# Part of the install (cmake --install): the links to Debian's 3-men Gaviota files beside the
# Syzygy tables, and the default book. GAVIOTA_FILES, BOOK_SOURCE and OWN_BOOK are set by the
# install code before this script runs.
set(share "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/orbelin")
file(MAKE_DIRECTORY "${share}/egbb")
foreach(file IN LISTS GAVIOTA_FILES)
  get_filename_component(name "${file}" NAME)
  message(STATUS "Installing: ${share}/egbb/${name} -> ${file}")
  file(CREATE_LINK "${file}" "${share}/egbb/${name}" SYMBOLIC)
endforeach()
# The default book: a link to Debian's gnuchess-book file; where that is not installed, a copy
# of the repository's own ./performance.bin when it is a book of its own; otherwise none.
set(book "${share}/performance.bin")
if(EXISTS "${BOOK_SOURCE}")
  message(STATUS "Installing: ${book} -> ${BOOK_SOURCE} (the book of gnuchess-book)")
  file(CREATE_LINK "${BOOK_SOURCE}" "${book}" SYMBOLIC)
elseif(EXISTS "${OWN_BOOK}")
  get_filename_component(real "${OWN_BOOK}" REALPATH)
  message(STATUS "Installing: ${book} (a copy of ${real}: gnuchess-book is not installed)")
  file(REMOVE "${book}")
  file(COPY_FILE "${real}" "${book}")
else()
  message(STATUS "No default book installed: neither ${BOOK_SOURCE} nor ${OWN_BOOK} exists")
endif()
