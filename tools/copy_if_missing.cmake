# cmake -DSOURCE=dir -DTARGET=dir -P copy_if_missing.cmake
if(NOT EXISTS "${TARGET}")
  file(COPY "${SOURCE}/" DESTINATION "${TARGET}")
endif()
