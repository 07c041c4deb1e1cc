/// Export and calling-convention macros shared by every public header.
#pragma once

#if defined(_WIN32)
#  if defined(KTU_STATIC)
#    define KTU_API
#  elif defined(KTU_BUILDING)
#    define KTU_API __declspec(dllexport)
#  else
#    define KTU_API __declspec(dllimport)
#  endif
#  define KTU_STDCALL __stdcall
#else
#  if defined(KTU_STATIC)
#    define KTU_API
#  else
#    define KTU_API __attribute__((visibility("default")))
#  endif
#  define KTU_STDCALL
#endif
