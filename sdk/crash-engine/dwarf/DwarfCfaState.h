// The rule table of one call-frame program run: for the current row, how to find the canonical
// frame address (CFA) and each saved register, with a stack of remembered rows. Fixed tables
// only: 6 levels, 100 rule entries shared by all levels, 14 hash buckets per level.
#pragma once

#include "sdk/crash-engine/ThreadState.h"
#include "sdk/crash-engine/dwarf/DwarfFrameInfo.h"

#include <cstdint>

enum cecrash_dwarf_cfa_reg_rule_t : uint32_t {
    // Saved at CFA + value.
    CECRASH_DWARF_CFA_REG_RULE_OFFSET = 0,
    // The value is CFA + value.
    CECRASH_DWARF_CFA_REG_RULE_VAL_OFFSET = 1,
    // In the register whose DWARF column is value.
    CECRASH_DWARF_CFA_REG_RULE_REGISTER = 2,
    // Saved at the address an expression computes.
    CECRASH_DWARF_CFA_REG_RULE_EXPRESSION = 3,
    // The value is what an expression computes.
    CECRASH_DWARF_CFA_REG_RULE_VAL_EXPRESSION = 4,
    // Unchanged from the callee.
    CECRASH_DWARF_CFA_REG_RULE_SAME_VALUE = 5,
};

namespace cecrash::async {

template <typename machine_ptr, typename machine_ptr_s>
class dwarf_cfa_state {
public:
    static constexpr uint8_t kMaxLevels = 6;
    static constexpr uint8_t kMaxEntries = 100;
    static constexpr uint8_t kBuckets = 14;
    static constexpr uint8_t kEndOfChain = 255;

    enum cfa_type : uint8_t {
        CFA_UNDEFINED = 0,
        CFA_EXPRESSION = 1,
        CFA_REGISTER = 2,
        CFA_REGISTER_SIGNED = 3,
    };

    struct cfa_rule {
        cfa_type type;
        // Register rules: the DWARF column.
        uint32_t reg;
        // Register rules: the offset (signed for CFA_REGISTER_SIGNED, kept as its bits).
        machine_ptr offset;
        // Expression rule: task address and length of the expression's bytes.
        uint64_t expression_address;
        uint64_t expression_length;
    };

    // Async-signal-safe. All entries free; level 0 with no rules and an undefined CFA.
    dwarf_cfa_state();

    // Async-signal-safe. False when no entry is free.
    bool set_register(uint32_t column, cecrash_dwarf_cfa_reg_rule_t rule, machine_ptr value);
    // Async-signal-safe.
    bool get_register_rule(uint32_t column, cecrash_dwarf_cfa_reg_rule_t* rule, machine_ptr* value) const;
    // Async-signal-safe.
    void remove_register(uint32_t column);
    // Async-signal-safe.
    uint8_t get_register_count() const;

    // Async-signal-safe.
    void set_cfa_register(uint32_t column, machine_ptr offset);
    void set_cfa_register_signed(uint32_t column, machine_ptr_s offset);
    void set_cfa_expression(uint64_t address, uint64_t length);
    cfa_rule get_cfa_rule() const;

    // Async-signal-safe. A new level holding a copy of the current one; false at the deepest
    // level or when the pool runs out.
    bool push_state();
    // Async-signal-safe. False at level 0.
    bool pop_state();

    // Async-signal-safe. Runs the instructions at address + offset (length bytes) for the
    // instruction pointer pc (0: to the end), the location starting at initial_location.
    // 0, 3 when the tables run out, 4 for an unknown opcode or unsupported form, 5 for an
    // operand outside the instructions or a rule that needs a register CFA.
    cecrash_error_t eval_program(const cecrash_async_mobject* mobj, machine_ptr pc, machine_ptr initial_location,
                                 const cecrash_async_dwarf_cie_info* cie_info,
                                 const gnu_ehptr_reader<machine_ptr>* ptr_reader,
                                 const cecrash_async_byteorder* byteorder, uint64_t address, uint64_t offset,
                                 uint64_t length);

    // Async-signal-safe. The caller's registers: the current state with volatile registers
    // cleared, the stack pointer set to the CFA and each rule applied.
    cecrash_error_t apply_state(const cecrash_async_dwarf_cie_info* cie_info,
                                const cecrash_async_thread_state* thread_state,
                                const cecrash_async_byteorder* byteorder, cecrash_async_thread_state* new_thread_state);

    struct entry {
        machine_ptr value;
        uint32_t column;
        uint32_t rule;
        uint8_t next;
    };

    struct level {
        cfa_rule cfa;
        uint8_t count;
        uint8_t buckets[kBuckets];
    };

    level levels_[kMaxLevels];
    uint8_t top_ = 0;
    entry entries_[kMaxEntries];
    uint8_t free_ = 0;
};

// Yields the rules of a state's current level, bucket by bucket, each bucket in chain order.
template <typename machine_ptr, typename machine_ptr_s>
class dwarf_cfa_state_iterator {
public:
    explicit dwarf_cfa_state_iterator(const dwarf_cfa_state<machine_ptr, machine_ptr_s>* state);
    // Async-signal-safe. False after the last rule.
    bool next(uint32_t* column, cecrash_dwarf_cfa_reg_rule_t* rule, machine_ptr* value);

private:
    const dwarf_cfa_state<machine_ptr, machine_ptr_s>* state_;
    uint8_t bucket_ = 0;
    uint8_t entry_;
};

extern template class dwarf_cfa_state<uint32_t, int32_t>;
extern template class dwarf_cfa_state<uint64_t, int64_t>;
extern template class dwarf_cfa_state_iterator<uint32_t, int32_t>;
extern template class dwarf_cfa_state_iterator<uint64_t, int64_t>;

}  // namespace cecrash::async
