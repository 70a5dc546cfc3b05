# The broker kit for CMake projects:
#   find_package(IPC_Broker CONFIG REQUIRED)
#   target_link_libraries(app PRIVATE IPC::Broker)
# IPC::Broker is IPC_Broker.dll with its header, linked through the import library of the
# consuming toolchain: IPC_Broker.lib for MSVC and clang-cl, libIPC_Broker.dll.a for MinGW.
get_filename_component(_ipc_broker_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)

if(NOT TARGET IPC::Broker)
  if(MSVC OR CMAKE_CXX_SIMULATE_ID STREQUAL "MSVC")
    set(_ipc_broker_implib "${_ipc_broker_prefix}/lib/IPC_Broker.lib")
  else()
    set(_ipc_broker_implib "${_ipc_broker_prefix}/lib/libIPC_Broker.dll.a")
  endif()
  add_library(IPC::Broker SHARED IMPORTED)
  set_target_properties(IPC::Broker PROPERTIES
    IMPORTED_LOCATION "${_ipc_broker_prefix}/bin/IPC_Broker.dll"
    IMPORTED_IMPLIB "${_ipc_broker_implib}"
    INTERFACE_INCLUDE_DIRECTORIES "${_ipc_broker_prefix}/include"
    INTERFACE_COMPILE_DEFINITIONS IPC_BROKER_DLL)
  unset(_ipc_broker_implib)
endif()
unset(_ipc_broker_prefix)
