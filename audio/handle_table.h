#pragma once

// A fixed table of objects reached by 32-bit handles.
//
// A handle packs the slot index with a generation count, so a handle kept after
// its object was freed (a stale handle) no longer finds anything, even when the
// slot is in use again. Handles are never 0 and never negative; the kind bit
// keeps buffer handles and segment handles apart.
//
// Thread: only the user-interface thread adds, removes and finds. Another
// thread may walk the slots only while it holds a lock that add and remove
// are called under (the mixer's lock).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

namespace tremlo::sound {

template <typename T, std::size_t Capacity, int Kind> class HandleTable {
    static_assert(Capacity <= 1024);
    static constexpr int kIndexBits = 10;
    static constexpr std::uint32_t kIndexMask = (1u << kIndexBits) - 1;
    static constexpr std::uint32_t kGenerationLimit = 1u << 20;

public:
    struct Slot {
        std::uint32_t generation = 0;
        std::unique_ptr<T> object;
    };

    HandleTable() : m_slots(new Slot[Capacity]) {}

    // 0 when the table is full.
    std::int32_t add(std::unique_ptr<T> object) {
        for (std::size_t i = 0; i < Capacity; ++i) {
            Slot& slot = m_slots[i];
            if (slot.object)
                continue;
            slot.generation = slot.generation + 1 >= kGenerationLimit ? 1 : slot.generation + 1;
            slot.object = std::move(object);
            return static_cast<std::int32_t>((slot.generation << (kIndexBits + 1)) |
                                             (static_cast<std::uint32_t>(Kind) << kIndexBits) |
                                             static_cast<std::uint32_t>(i));
        }
        return 0;
    }

    T* find(std::int32_t handle) const {
        Slot* slot = slotOf(handle);
        return slot ? slot->object.get() : nullptr;
    }

    std::unique_ptr<T> remove(std::int32_t handle) {
        Slot* slot = slotOf(handle);
        return slot ? std::move(slot->object) : nullptr;
    }

    Slot* begin() { return m_slots.get(); }
    Slot* end() { return m_slots.get() + Capacity; }

private:
    Slot* slotOf(std::int32_t handle) const {
        if (handle <= 0)
            return nullptr;
        const auto bits = static_cast<std::uint32_t>(handle);
        const std::uint32_t index = bits & kIndexMask;
        if (((bits >> kIndexBits) & 1u) != static_cast<std::uint32_t>(Kind) || index >= Capacity)
            return nullptr;
        Slot& slot = m_slots[index];
        if (!slot.object || slot.generation != bits >> (kIndexBits + 1))
            return nullptr;
        return &slot;
    }

    std::unique_ptr<Slot[]> m_slots;
};

} // namespace tremlo::sound
