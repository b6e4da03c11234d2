# Defines the imported targets D3DX9::Headers (the D3DX 9 headers, for code that
# loads d3dx9_43.dll at run time) and D3DX9::D3DX9 (the headers, the import
# library and Direct3D 9, for code that links it). mingw-w64 ships both headers
# and import libraries; with MSVC they come from the DirectX SDK (June 2010) or
# the Microsoft.DXSDK.D3DX NuGet package, found through CMAKE_INCLUDE_PATH /
# CMAKE_LIBRARY_PATH (see the README).
if(TARGET D3DX9::D3DX9)
  return()
endif()
add_library(D3DX9::Headers INTERFACE IMPORTED GLOBAL)
add_library(D3DX9::D3DX9 INTERFACE IMPORTED GLOBAL)
if(MSVC)
  find_path(D3DX9_INCLUDE_DIR d3dx9.h REQUIRED)
  find_library(D3DX9_LIBRARY d3dx9 REQUIRED)
  target_include_directories(D3DX9::Headers SYSTEM INTERFACE ${D3DX9_INCLUDE_DIR})
  target_link_libraries(D3DX9::D3DX9 INTERFACE D3DX9::Headers ${D3DX9_LIBRARY} d3d9)
else()
  target_link_libraries(D3DX9::D3DX9 INTERFACE d3dx9 d3d9)
endif()
