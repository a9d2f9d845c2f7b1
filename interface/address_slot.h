// 32-bit address slots.
//
// Every pointer, handle and callback field of a record shared with the host is
// four bytes wide, as in the 32-bit plug-in that the host loads. On a 32-bit
// build the slot holds the address itself. On a 64-bit build an address does
// not fit, so the platform layer hands out 32-bit tokens instead: the same
// address always gets the same token, and a token stays valid until it is
// released. This keeps every shared record byte-identical across builds.
#pragma once

#include <cstdint>

typedef uint32_t AddressSlot;

#if UINTPTR_MAX == 0xFFFFFFFFu

// 32-bit build: the slot is the address.
inline AddressSlot SlotFromAddress(const void* address) {
  return static_cast<AddressSlot>(reinterpret_cast<uintptr_t>(address));
}
inline void* AddressFromSlot(AddressSlot slot) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(slot));
}
inline void ReleaseSlot(AddressSlot) {}

#else

// 64-bit build: token table kept by the platform layer (thread-safe).
// Null maps to slot 0 and back.
AddressSlot SlotFromAddress(const void* address);
void* AddressFromSlot(AddressSlot slot);
// Forgets a token that its owner no longer publishes (a dialog's state, a
// finished run's store), so that repeated runs do not grow the table.
void ReleaseSlot(AddressSlot slot);
// Number of live tokens (for tests that check the table stays bounded).
uint32_t LiveSlotCount();

#endif

// Typed helpers.
template <typename T>
inline T* PointerFromSlot(AddressSlot slot) {
  return static_cast<T*>(AddressFromSlot(slot));
}
template <typename Fn>
inline Fn FunctionFromSlot(AddressSlot slot) {
  return reinterpret_cast<Fn>(AddressFromSlot(slot));
}
template <typename Fn>
inline AddressSlot SlotFromFunction(Fn fn) {
  return SlotFromAddress(reinterpret_cast<const void*>(fn));
}
