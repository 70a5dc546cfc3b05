// Finding and rewriting one slot of the program's import address table.
#include "support/import_hook.h"

#include <windows.h>

#include <cstring>

namespace test {

namespace {

template <typename T>
T* At(BYTE* image, DWORD offset) {
  return reinterpret_cast<T*>(image + offset);
}

// The slot through which |image| calls |dll|!|function|, or null.
void** FindSlot(BYTE* image, const char* dll, const char* function) {
  IMAGE_NT_HEADERS* headers =
      At<IMAGE_NT_HEADERS>(image, reinterpret_cast<IMAGE_DOS_HEADER*>(image)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!imports.VirtualAddress)
    return nullptr;
  for (IMAGE_IMPORT_DESCRIPTOR* module = At<IMAGE_IMPORT_DESCRIPTOR>(image, imports.VirtualAddress);
       module->Name; ++module) {
    if (lstrcmpiA(At<char>(image, module->Name), dll) != 0)
      continue;
    IMAGE_THUNK_DATA* names = At<IMAGE_THUNK_DATA>(image, module->OriginalFirstThunk);
    IMAGE_THUNK_DATA* slots = At<IMAGE_THUNK_DATA>(image, module->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
        continue;
      IMAGE_IMPORT_BY_NAME* name =
          At<IMAGE_IMPORT_BY_NAME>(image, static_cast<DWORD>(names->u1.AddressOfData));
      if (strcmp(reinterpret_cast<const char*>(name->Name), function) == 0)
        return reinterpret_cast<void**>(&slots->u1.Function);
    }
  }
  return nullptr;
}

}  // namespace

ImportHook::ImportHook(const char* dll, const char* function, void* replacement)
    : slot_(FindSlot(reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr)), dll, function)),
      original_(nullptr) {
  if (!slot_)
    return;
  original_ = *slot_;
  Write(slot_, replacement);
}

ImportHook::~ImportHook() {
  if (slot_)
    Write(slot_, original_);
}

// static
void ImportHook::Write(void** slot, void* value) {
  DWORD protection = 0;
  VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection);
  *slot = value;
  VirtualProtect(slot, sizeof(*slot), protection, &protection);
}

}  // namespace test
