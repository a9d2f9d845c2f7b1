// The 64-bit token table behind the 32-bit address slots of shared records.
// On a 32-bit build the slot is the address itself (inline in the header)
// and nothing here is compiled.
#include "interface/address_slot.h"

#if UINTPTR_MAX != 0xFFFFFFFFu

#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

// Token t (t >= 1) stands for addresses[t - 1]; released tokens wait in
// `freeTokens` and are handed out again first, so that the table stays as
// large as the most addresses published at one time.
struct SlotTable {
  std::mutex mutex;
  std::unordered_map<const void*, AddressSlot> tokens;
  std::vector<const void*> addresses;
  std::vector<AddressSlot> freeTokens;
};

SlotTable& Table() {
  static SlotTable* table = new SlotTable;  // never destroyed: slots may be used at exit
  return *table;
}

}  // namespace

AddressSlot SlotFromAddress(const void* address) {
  if (address == nullptr) return 0;
  SlotTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.tokens.find(address);
  if (it != table.tokens.end()) return it->second;
  AddressSlot token;
  if (!table.freeTokens.empty()) {
    token = table.freeTokens.back();
    table.freeTokens.pop_back();
    table.addresses[token - 1] = address;
  } else {
    table.addresses.push_back(address);
    token = static_cast<AddressSlot>(table.addresses.size());
  }
  table.tokens.emplace(address, token);
  return token;
}

void* AddressFromSlot(AddressSlot slot) {
  if (slot == 0) return nullptr;
  SlotTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  if (slot > table.addresses.size()) return nullptr;
  return const_cast<void*>(table.addresses[slot - 1]);
}

void ReleaseSlot(AddressSlot slot) {
  if (slot == 0) return;
  SlotTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  if (slot > table.addresses.size() || table.addresses[slot - 1] == nullptr) return;
  table.tokens.erase(table.addresses[slot - 1]);
  table.addresses[slot - 1] = nullptr;
  table.freeTokens.push_back(slot);
}

uint32_t LiveSlotCount() {
  SlotTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  return static_cast<uint32_t>(table.tokens.size());
}

#endif
