# Installs the build into a fresh prefix under WORK, checks the pkg-config files, builds the host app
# in tests/package/app against the installed package and runs it to a received ad.
# cmake -DBUILD_DIR= -DWORK= -DAPP_SOURCE= -DADSERVER_LIBRARY= -DADSERVER_HEADERS= -DCXX= -DCXX_FLAGS=
#       -DGENERATOR= -P PackageTest.cmake
foreach(var BUILD_DIR WORK APP_SOURCE ADSERVER_LIBRARY ADSERVER_HEADERS CXX GENERATOR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

function(step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "package test: ${what} failed (${result}):\n${out}")
  endif()
  set(step_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/prefix)
step("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
# The library folder GNUInstallDirs chose ("lib" or "lib64").
file(GLOB_RECURSE config LIST_DIRECTORIES false ${prefix}/RuzaveConfig.cmake)
if(NOT config)
  message(FATAL_ERROR "package test: no RuzaveConfig.cmake under ${prefix}")
endif()
get_filename_component(libdir ${config} DIRECTORY)
get_filename_component(libdir ${libdir}/../.. ABSOLUTE)

# Every library the pkg-config files name is installed in the prefix, and every header they point
# at is there.
set(ENV{PKG_CONFIG_PATH} ${libdir}/pkgconfig)
step("pkg-config" pkg-config --print-errors --cflags --libs ruzave-ads ruzave-conversion)
string(STRIP "${step_output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
set(pc_flags ${flags})
set(include_dir)
foreach(flag ${flags})
  if(flag MATCHES "^-l(ruzave|platform)_(.*)$")
    if(NOT EXISTS ${libdir}/lib${CMAKE_MATCH_1}_${CMAKE_MATCH_2}.so)
      message(FATAL_ERROR "package test: pkg-config names ${flag}, which is not in ${libdir}")
    endif()
  elseif(flag MATCHES "^-I(.*)$")
    set(include_dir ${CMAKE_MATCH_1})
  endif()
endforeach()
if(NOT EXISTS ${include_dir}/ads/core/public/GADBannerView.h OR NOT EXISTS ${include_dir}/conversion/ACTConversionReporter.h)
  message(FATAL_ERROR "package test: pkg-config's include folder \"${include_dir}\" has no SDK headers")
endif()

# The ad server's headers alone, so that the app reaches nothing else of the tree.
file(GLOB server_headers ${ADSERVER_HEADERS}/*.h)
file(COPY ${server_headers} DESTINATION ${WORK}/adserver-include/tools/adserver)

step("configuring the app" ${CMAKE_COMMAND} -S ${APP_SOURCE} -B ${WORK}/app -G ${GENERATOR}
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
  -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
  -DRUZAVE_ADSERVER_LIBRARY=${ADSERVER_LIBRARY} -DRUZAVE_ADSERVER_INCLUDE=${WORK}/adserver-include)
step("building the app" ${CMAKE_COMMAND} --build ${WORK}/app)

# The app's object linked with what pkg-config gives alone: its Libs are whole.
file(GLOB_RECURSE app_object ${WORK}/app/CMakeFiles/main.cpp.o)
separate_arguments(cxx_flags UNIX_COMMAND "${CXX_FLAGS}")
step("linking the app with pkg-config's flags" ${CXX} ${cxx_flags} ${app_object} -o ${WORK}/package_app_pkgconfig
  ${pc_flags} ${ADSERVER_LIBRARY} -lcrypto)

file(MAKE_DIRECTORY ${WORK}/home)
set(ENV{RUZAVE_APP_HOME} ${WORK}/home)
execute_process(COMMAND ${WORK}/app/package_app RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT result EQUAL 0 OR NOT out MATCHES "\nadViewDidReceiveAd\n")
  message(FATAL_ERROR "package test: the app did not receive its ad (exit ${result})")
endif()
# The SDK the app ran is the installed one, not the build tree's.
if(NOT out MATCHES "SDK library: ${libdir}/libruzave_ads.so")
  message(FATAL_ERROR "package test: the app did not run the installed SDK")
endif()
