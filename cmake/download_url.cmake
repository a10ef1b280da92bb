# The download site's base address: the page's own part (at most 53 bytes)
# follows it in a 256-byte buffer, and it is compiled in as a string.
function(lumv_check_download_url url)
  string(LENGTH "${url}" length)
  if(NOT url MATCHES "/$")
    message(FATAL_ERROR "LUMV_DOWNLOAD_BASE_URL must end with '/': ${url}")
  endif()
  if(length GREATER 202)
    message(FATAL_ERROR "LUMV_DOWNLOAD_BASE_URL is ${length} bytes long, at most 202 fit")
  endif()
  if(url MATCHES "[\"\\\\]")
    message(FATAL_ERROR "LUMV_DOWNLOAD_BASE_URL must not hold quotes or backslashes: ${url}")
  endif()
endfunction()

# Script mode, for the tests: cmake -DURL=... -P download_url.cmake
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  lumv_check_download_url("${URL}")
endif()
