# Imported targets for the cross-built static libraries in the dependency cache.
if(NOT VELLORAN_DEPS_PREFIX)
  message(FATAL_ERROR "VELLORAN_DEPS_PREFIX is not set: run scripts/setup.sh first")
endif()

function(velloran_import name file)
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES
    IMPORTED_LOCATION "${VELLORAN_DEPS_PREFIX}/lib/${file}"
    INTERFACE_INCLUDE_DIRECTORIES "${VELLORAN_DEPS_PREFIX}/include")
endfunction()

find_package(ZLIB REQUIRED)
velloran_import(deps::crypto libcrypto.a)
set_property(TARGET deps::crypto PROPERTY INTERFACE_LINK_LIBRARIES ws2_32 crypt32 bcrypt user32 advapi32)
velloran_import(deps::ssl libssl.a)
set_property(TARGET deps::ssl PROPERTY INTERFACE_LINK_LIBRARIES deps::crypto)
velloran_import(deps::ssh2 libssh2.a)
set_property(TARGET deps::ssh2 PROPERTY INTERFACE_LINK_LIBRARIES deps::ssl)
velloran_import(deps::curl libcurl.a)
set_property(TARGET deps::curl PROPERTY INTERFACE_LINK_LIBRARIES deps::ssh2 deps::ssl ZLIB::ZLIB wldap32 ws2_32 crypt32 normaliz)
set_property(TARGET deps::curl PROPERTY INTERFACE_COMPILE_DEFINITIONS CURL_STATICLIB)
velloran_import(deps::zip libzip.a)
set_property(TARGET deps::zip PROPERTY INTERFACE_LINK_LIBRARIES deps::crypto ZLIB::ZLIB)
set_property(TARGET deps::zip PROPERTY INTERFACE_COMPILE_DEFINITIONS ZIP_STATIC)
