#include "sdk/crash-engine/dwarf/DwarfCfaState.h"

#include "sdk/crash-engine/dwarf/DwarfExpression.h"
#include "sdk/crash-engine/linux/MemoryReader.h"

namespace cecrash::async {

namespace {

// Call-frame instructions. The top two bits of the first three carry them; the low six bits
// are their operand.
enum : uint8_t {
    DW_CFA_advance_loc = 0x40,
    DW_CFA_offset = 0x80,
    DW_CFA_restore = 0xc0,
    DW_CFA_nop = 0x00,
    DW_CFA_set_loc = 0x01,
    DW_CFA_advance_loc1 = 0x02,
    DW_CFA_advance_loc2 = 0x03,
    DW_CFA_advance_loc4 = 0x04,
    DW_CFA_offset_extended = 0x05,
    DW_CFA_restore_extended = 0x06,
    DW_CFA_undefined = 0x07,
    DW_CFA_same_value = 0x08,
    DW_CFA_register = 0x09,
    DW_CFA_remember_state = 0x0a,
    DW_CFA_restore_state = 0x0b,
    DW_CFA_def_cfa = 0x0c,
    DW_CFA_def_cfa_register = 0x0d,
    DW_CFA_def_cfa_offset = 0x0e,
    DW_CFA_def_cfa_expression = 0x0f,
    DW_CFA_expression = 0x10,
    DW_CFA_offset_extended_sf = 0x11,
    DW_CFA_def_cfa_sf = 0x12,
    DW_CFA_def_cfa_offset_sf = 0x13,
    DW_CFA_val_offset = 0x14,
    DW_CFA_val_offset_sf = 0x15,
    DW_CFA_val_expression = 0x16,
    // The outgoing argument size of a GNU toolchain: it says nothing about where registers are,
    // and its operand is skipped.
    DW_CFA_GNU_args_size = 0x2e,
};

// Async-signal-safe. A machine word of the process's memory, converted.
template <typename machine_ptr>
cecrash_error_t readWord(const cecrash_async_byteorder* order, machine_ptr address, machine_ptr* value)
{
    machine_ptr raw = 0;
    if (const cecrash_error_t error = cecrash_async_copy_from_task(address, 0, &raw, sizeof(raw)))
        return error;
    *value = sizeof(machine_ptr) == 8 ? static_cast<machine_ptr>(order->swap64(raw))
                                      : static_cast<machine_ptr>(order->swap32(static_cast<uint32_t>(raw)));
    return CECRASH_ESUCCESS;
}

}  // namespace

template <typename machine_ptr, typename machine_ptr_s>
dwarf_cfa_state<machine_ptr, machine_ptr_s>::dwarf_cfa_state()
{
    for (uint8_t i = 0; i < kMaxEntries; ++i)
        entries_[i] = {0, 0, 0, static_cast<uint8_t>(i + 1 < kMaxEntries ? i + 1 : kEndOfChain)};
    free_ = 0;
    top_ = 0;
    levels_[0].cfa = {CFA_UNDEFINED, 0, 0, 0, 0};
    levels_[0].count = 0;
    for (uint8_t& head : levels_[0].buckets)
        head = kEndOfChain;
}

template <typename machine_ptr, typename machine_ptr_s>
bool dwarf_cfa_state<machine_ptr, machine_ptr_s>::set_register(uint32_t column, cecrash_dwarf_cfa_reg_rule_t rule,
                                                               machine_ptr value)
{
    level& current = levels_[top_];
    uint8_t* link = &current.buckets[column % kBuckets];
    while (*link != kEndOfChain) {
        entry& existing = entries_[*link];
        if (existing.column == column) {
            existing.rule = rule;
            existing.value = value;
            return true;
        }
        link = &existing.next;
    }
    if (free_ == kEndOfChain)
        return false;
    const uint8_t taken = free_;
    free_ = entries_[taken].next;
    entries_[taken] = {value, column, rule, kEndOfChain};
    *link = taken;
    ++current.count;
    return true;
}

template <typename machine_ptr, typename machine_ptr_s>
bool dwarf_cfa_state<machine_ptr, machine_ptr_s>::get_register_rule(uint32_t column, cecrash_dwarf_cfa_reg_rule_t* rule,
                                                                    machine_ptr* value) const
{
    for (uint8_t at = levels_[top_].buckets[column % kBuckets]; at != kEndOfChain; at = entries_[at].next) {
        if (entries_[at].column == column) {
            *rule = static_cast<cecrash_dwarf_cfa_reg_rule_t>(entries_[at].rule);
            *value = entries_[at].value;
            return true;
        }
    }
    return false;
}

template <typename machine_ptr, typename machine_ptr_s>
void dwarf_cfa_state<machine_ptr, machine_ptr_s>::remove_register(uint32_t column)
{
    level& current = levels_[top_];
    uint8_t* link = &current.buckets[column % kBuckets];
    while (*link != kEndOfChain) {
        const uint8_t at = *link;
        if (entries_[at].column == column) {
            *link = entries_[at].next;
            entries_[at].next = free_;
            free_ = at;
            --current.count;
            return;
        }
        link = &entries_[at].next;
    }
}

template <typename machine_ptr, typename machine_ptr_s>
uint8_t dwarf_cfa_state<machine_ptr, machine_ptr_s>::get_register_count() const
{
    return levels_[top_].count;
}

template <typename machine_ptr, typename machine_ptr_s>
void dwarf_cfa_state<machine_ptr, machine_ptr_s>::set_cfa_register(uint32_t column, machine_ptr offset)
{
    levels_[top_].cfa = {CFA_REGISTER, column, offset, 0, 0};
}

template <typename machine_ptr, typename machine_ptr_s>
void dwarf_cfa_state<machine_ptr, machine_ptr_s>::set_cfa_register_signed(uint32_t column, machine_ptr_s offset)
{
    levels_[top_].cfa = {CFA_REGISTER_SIGNED, column, static_cast<machine_ptr>(offset), 0, 0};
}

template <typename machine_ptr, typename machine_ptr_s>
void dwarf_cfa_state<machine_ptr, machine_ptr_s>::set_cfa_expression(uint64_t address, uint64_t length)
{
    levels_[top_].cfa = {CFA_EXPRESSION, 0, 0, address, length};
}

template <typename machine_ptr, typename machine_ptr_s>
typename dwarf_cfa_state<machine_ptr, machine_ptr_s>::cfa_rule dwarf_cfa_state<machine_ptr, machine_ptr_s>::get_cfa_rule() const
{
    return levels_[top_].cfa;
}

template <typename machine_ptr, typename machine_ptr_s>
bool dwarf_cfa_state<machine_ptr, machine_ptr_s>::push_state()
{
    if (top_ + 1 >= kMaxLevels)
        return false;
    const uint8_t from = top_;
    ++top_;
    levels_[top_].cfa = levels_[from].cfa;
    levels_[top_].count = 0;
    for (uint8_t& head : levels_[top_].buckets)
        head = kEndOfChain;
    for (uint8_t bucket = 0; bucket < kBuckets; ++bucket) {
        for (uint8_t at = levels_[from].buckets[bucket]; at != kEndOfChain; at = entries_[at].next) {
            if (!set_register(entries_[at].column, static_cast<cecrash_dwarf_cfa_reg_rule_t>(entries_[at].rule),
                              entries_[at].value)) {
                pop_state();
                return false;
            }
        }
    }
    return true;
}

template <typename machine_ptr, typename machine_ptr_s>
bool dwarf_cfa_state<machine_ptr, machine_ptr_s>::pop_state()
{
    if (top_ == 0)
        return false;
    for (uint8_t bucket = 0; bucket < kBuckets; ++bucket) {
        uint8_t at = levels_[top_].buckets[bucket];
        while (at != kEndOfChain) {
            const uint8_t next = entries_[at].next;
            entries_[at].next = free_;
            free_ = at;
            at = next;
        }
    }
    --top_;
    return true;
}

template <typename machine_ptr, typename machine_ptr_s>
cecrash_error_t dwarf_cfa_state<machine_ptr, machine_ptr_s>::eval_program(
    const cecrash_async_mobject* mobj, machine_ptr pc, machine_ptr initial_location,
    const cecrash_async_dwarf_cie_info* cie_info, const gnu_ehptr_reader<machine_ptr>* ptr_reader,
    const cecrash_async_byteorder* byteorder, uint64_t address, uint64_t offset, uint64_t length)
{
    // The rules in force when the program starts: the restore instructions go back to them.
    dwarf_cfa_state initial;
    {
        dwarf_cfa_state_iterator<machine_ptr, machine_ptr_s> rules(this);
        uint32_t column = 0;
        cecrash_dwarf_cfa_reg_rule_t rule;
        machine_ptr value = 0;
        while (rules.next(&column, &rule, &value)) {
            if (!initial.set_register(column, rule, value))
                return CECRASH_ENOMEM;
        }
    }
    const uint8_t encoding = cie_info->eh_augmentation.has_eh_augmentation && cie_info->eh_augmentation.has_pointer_encoding
        ? cie_info->eh_augmentation.pointer_encoding
        : 0;
    if (offset > INT64_MAX || length > INT64_MAX - offset)
        return CECRASH_EINVAL;
    int64_t at = static_cast<int64_t>(offset);
    const int64_t end = static_cast<int64_t>(offset + length);
    machine_ptr location = initial_location;
    if (pc != 0 && pc < location)
        return CECRASH_ESUCCESS;

    const auto uleb = [&](uint64_t* value) {
        size_t size = 0;
        if (dwarf_read_uleb128(mobj, address, at, value, &size) != CECRASH_ESUCCESS || at + static_cast<int64_t>(size) > end)
            return false;
        at += static_cast<int64_t>(size);
        return true;
    };
    const auto sleb = [&](int64_t* value) {
        size_t size = 0;
        if (dwarf_read_sleb128(mobj, address, at, value, &size) != CECRASH_ESUCCESS || at + static_cast<int64_t>(size) > end)
            return false;
        at += static_cast<int64_t>(size);
        return true;
    };
    const auto fixed = [&](size_t size, uint64_t* value) {
        if (at + static_cast<int64_t>(size) > end || dwarf_read_sized(mobj, byteorder, address, at, size, value) != CECRASH_ESUCCESS)
            return false;
        at += static_cast<int64_t>(size);
        return true;
    };
    const auto column = [&](uint64_t* value) -> cecrash_error_t {
        if (!uleb(value))
            return CECRASH_EINVAL;
        return *value > 0xffffffffu ? CECRASH_ENOTSUP : CECRASH_ESUCCESS;
    };
    const machine_ptr codeAlignment = static_cast<machine_ptr>(cie_info->code_alignment_factor);
    const machine_ptr_s dataAlignment = static_cast<machine_ptr_s>(cie_info->data_alignment_factor);

    while (at < end && (pc == 0 || location <= pc)) {
        uint8_t opcode = 0;
        if (cecrash_async_mobject_read_uint8(mobj, address, at, &opcode) != CECRASH_ESUCCESS)
            return CECRASH_EINVAL;
        ++at;
        uint64_t reg = 0;
        uint64_t operand = 0;
        int64_t signedOperand = 0;
        uint8_t primary = opcode & 0xc0;
        if (primary != 0) {
            reg = opcode & 0x3f;
            opcode = primary;
        }
        switch (opcode) {
        case DW_CFA_nop:
            break;
        case DW_CFA_set_loc: {
            if (cie_info->segment_size != 0)
                return CECRASH_ENOTSUP;
            machine_ptr target = 0;
            size_t size = 0;
            if (const cecrash_error_t error = ptr_reader->read(mobj, address, at, encoding, &target, &size))
                return error;
            if (at + static_cast<int64_t>(size) > end)
                return CECRASH_EINVAL;
            at += static_cast<int64_t>(size);
            location = target;
            break;
        }
        case DW_CFA_advance_loc:
            location = static_cast<machine_ptr>(location + reg * codeAlignment);
            break;
        case DW_CFA_advance_loc1:
        case DW_CFA_advance_loc2:
        case DW_CFA_advance_loc4: {
            const size_t size = opcode == DW_CFA_advance_loc1 ? 1 : opcode == DW_CFA_advance_loc2 ? 2 : 4;
            if (!fixed(size, &operand))
                return CECRASH_EINVAL;
            location = static_cast<machine_ptr>(location + operand * codeAlignment);
            break;
        }
        case DW_CFA_offset_extended:
        case DW_CFA_offset:
        case DW_CFA_val_offset:
            if (opcode != DW_CFA_offset) {
                if (const cecrash_error_t error = column(&reg))
                    return error;
            }
            if (!uleb(&operand))
                return CECRASH_EINVAL;
            if (!set_register(static_cast<uint32_t>(reg),
                              opcode == DW_CFA_val_offset ? CECRASH_DWARF_CFA_REG_RULE_VAL_OFFSET : CECRASH_DWARF_CFA_REG_RULE_OFFSET,
                              static_cast<machine_ptr>(static_cast<machine_ptr_s>(operand) * dataAlignment)))
                return CECRASH_ENOMEM;
            break;
        case DW_CFA_offset_extended_sf:
        case DW_CFA_val_offset_sf:
            if (const cecrash_error_t error = column(&reg))
                return error;
            if (!sleb(&signedOperand))
                return CECRASH_EINVAL;
            if (!set_register(static_cast<uint32_t>(reg),
                              opcode == DW_CFA_val_offset_sf ? CECRASH_DWARF_CFA_REG_RULE_VAL_OFFSET : CECRASH_DWARF_CFA_REG_RULE_OFFSET,
                              static_cast<machine_ptr>(static_cast<machine_ptr_s>(signedOperand) * dataAlignment)))
                return CECRASH_ENOMEM;
            break;
        case DW_CFA_restore_extended:
        case DW_CFA_restore: {
            if (opcode == DW_CFA_restore_extended) {
                if (const cecrash_error_t error = column(&reg))
                    return error;
            }
            cecrash_dwarf_cfa_reg_rule_t rule;
            machine_ptr value = 0;
            if (initial.get_register_rule(static_cast<uint32_t>(reg), &rule, &value)) {
                if (!set_register(static_cast<uint32_t>(reg), rule, value))
                    return CECRASH_ENOMEM;
            } else {
                remove_register(static_cast<uint32_t>(reg));
            }
            break;
        }
        case DW_CFA_undefined:
        case DW_CFA_same_value:
            if (const cecrash_error_t error = column(&reg))
                return error;
            if (opcode == DW_CFA_undefined)
                remove_register(static_cast<uint32_t>(reg));
            else if (!set_register(static_cast<uint32_t>(reg), CECRASH_DWARF_CFA_REG_RULE_SAME_VALUE, 0))
                return CECRASH_ENOMEM;
            break;
        case DW_CFA_register: {
            if (const cecrash_error_t error = column(&reg))
                return error;
            uint64_t other = 0;
            if (const cecrash_error_t error = column(&other))
                return error;
            if (!set_register(static_cast<uint32_t>(reg), CECRASH_DWARF_CFA_REG_RULE_REGISTER, static_cast<machine_ptr>(other)))
                return CECRASH_ENOMEM;
            break;
        }
        case DW_CFA_remember_state:
            if (!push_state())
                return CECRASH_ENOMEM;
            break;
        case DW_CFA_restore_state:
            if (!pop_state())
                return CECRASH_EINVAL;
            break;
        case DW_CFA_def_cfa:
        case DW_CFA_def_cfa_sf:
            if (const cecrash_error_t error = column(&reg))
                return error;
            if (opcode == DW_CFA_def_cfa) {
                if (!uleb(&operand))
                    return CECRASH_EINVAL;
                set_cfa_register(static_cast<uint32_t>(reg), static_cast<machine_ptr>(operand));
            } else {
                if (!sleb(&signedOperand))
                    return CECRASH_EINVAL;
                set_cfa_register_signed(static_cast<uint32_t>(reg), static_cast<machine_ptr_s>(signedOperand) * dataAlignment);
            }
            break;
        case DW_CFA_def_cfa_register: {
            if (const cecrash_error_t error = column(&reg))
                return error;
            cfa_rule& cfa = levels_[top_].cfa;
            if (cfa.type != CFA_REGISTER && cfa.type != CFA_REGISTER_SIGNED)
                return CECRASH_EINVAL;
            cfa.reg = static_cast<uint32_t>(reg);
            break;
        }
        case DW_CFA_def_cfa_offset:
        case DW_CFA_def_cfa_offset_sf: {
            const cfa_rule cfa = levels_[top_].cfa;
            if (cfa.type != CFA_REGISTER && cfa.type != CFA_REGISTER_SIGNED)
                return CECRASH_EINVAL;
            if (opcode == DW_CFA_def_cfa_offset) {
                if (!uleb(&operand))
                    return CECRASH_EINVAL;
                set_cfa_register(cfa.reg, static_cast<machine_ptr>(operand));
            } else {
                if (!sleb(&signedOperand))
                    return CECRASH_EINVAL;
                set_cfa_register_signed(cfa.reg, static_cast<machine_ptr_s>(signedOperand) * dataAlignment);
            }
            break;
        }
        case DW_CFA_def_cfa_expression:
        case DW_CFA_expression:
        case DW_CFA_val_expression: {
            if (opcode != DW_CFA_def_cfa_expression) {
                if (const cecrash_error_t error = column(&reg))
                    return error;
            }
            // The rule keeps the task address of the block's length; the block is skipped.
            const uint64_t block = address + static_cast<uint64_t>(at);
            if (!uleb(&operand) || operand > static_cast<uint64_t>(end - at))
                return CECRASH_EINVAL;
            if (opcode == DW_CFA_def_cfa_expression) {
                set_cfa_expression(address + static_cast<uint64_t>(at), operand);
            } else if (!set_register(static_cast<uint32_t>(reg),
                                     opcode == DW_CFA_expression ? CECRASH_DWARF_CFA_REG_RULE_EXPRESSION
                                                                 : CECRASH_DWARF_CFA_REG_RULE_VAL_EXPRESSION,
                                     static_cast<machine_ptr>(block))) {
                return CECRASH_ENOMEM;
            }
            at += static_cast<int64_t>(operand);
            break;
        }
        case DW_CFA_GNU_args_size:
            if (!uleb(&operand))
                return CECRASH_EINVAL;
            break;
        default:
            return CECRASH_ENOTSUP;
        }
    }
    return CECRASH_ESUCCESS;
}

template <typename machine_ptr, typename machine_ptr_s>
cecrash_error_t dwarf_cfa_state<machine_ptr, machine_ptr_s>::apply_state(const cecrash_async_dwarf_cie_info* cie_info,
                                                                         const cecrash_async_thread_state* thread_state,
                                                                         const cecrash_async_byteorder* byteorder,
                                                                         cecrash_async_thread_state* new_thread_state)
{
    cecrash_async_thread_state_copy(new_thread_state, thread_state);
    cecrash_async_thread_state_clear_volatile_regs(new_thread_state);

    machine_ptr cfa = 0;
    const cfa_rule rule = get_cfa_rule();
    switch (rule.type) {
    case CFA_REGISTER:
    case CFA_REGISTER_SIGNED: {
        uint32_t reg = 0;
        if (!cecrash_async_thread_state_map_dwarf_to_reg(thread_state, rule.reg, &reg))
            return CECRASH_ENOTSUP;
        if (!cecrash_async_thread_state_has_reg(thread_state, reg))
            return CECRASH_ENOTFOUND;
        cfa = static_cast<machine_ptr>(cecrash_async_thread_state_get_reg(thread_state, reg) + rule.offset);
        break;
    }
    case CFA_EXPRESSION: {
        cecrash_async_mobject expression;
        if (const cecrash_error_t error =
                cecrash_async_mobject_init(&expression, rule.expression_address, rule.expression_length, true))
            return error;
        const cecrash_error_t error = dwarf_expression_eval<machine_ptr, machine_ptr_s>(
            &expression, thread_state, byteorder, rule.expression_address, 0, rule.expression_length, nullptr, 0, &cfa);
        cecrash_async_mobject_free(&expression);
        if (error != CECRASH_ESUCCESS)
            return error;
        break;
    }
    default:
        return CECRASH_EINVAL;
    }
    cecrash_async_thread_state_set_reg(new_thread_state, CECRASH_REG_SP, cfa);

    uint32_t returnRegister = 0;
    const bool returnMapped =
        cecrash_async_thread_state_map_dwarf_to_reg(thread_state, cie_info->return_address_register, &returnRegister);

    dwarf_cfa_state_iterator<machine_ptr, machine_ptr_s> rules(this);
    uint32_t column = 0;
    cecrash_dwarf_cfa_reg_rule_t kind;
    machine_ptr value = 0;
    while (rules.next(&column, &kind, &value)) {
        uint32_t target = 0;
        if (!cecrash_async_thread_state_map_dwarf_to_reg(thread_state, column, &target)) {
            if (column != cie_info->return_address_register)
                return CECRASH_EINVAL;
            target = CECRASH_REG_IP;
        }
        machine_ptr result = 0;
        switch (kind) {
        case CECRASH_DWARF_CFA_REG_RULE_OFFSET:
            if (const cecrash_error_t error = readWord<machine_ptr>(byteorder, static_cast<machine_ptr>(cfa + value), &result))
                return error;
            break;
        case CECRASH_DWARF_CFA_REG_RULE_VAL_OFFSET:
            result = static_cast<machine_ptr>(cfa + value);
            break;
        case CECRASH_DWARF_CFA_REG_RULE_REGISTER: {
            uint32_t source = 0;
            if (!cecrash_async_thread_state_map_dwarf_to_reg(thread_state, value, &source))
                return CECRASH_EINVAL;
            if (!cecrash_async_thread_state_has_reg(thread_state, source))
                return CECRASH_ENOTFOUND;
            result = static_cast<machine_ptr>(cecrash_async_thread_state_get_reg(thread_state, source));
            break;
        }
        case CECRASH_DWARF_CFA_REG_RULE_SAME_VALUE:
            if (!cecrash_async_thread_state_has_reg(thread_state, target))
                return CECRASH_ENOTFOUND;
            result = static_cast<machine_ptr>(cecrash_async_thread_state_get_reg(thread_state, target));
            break;
        case CECRASH_DWARF_CFA_REG_RULE_EXPRESSION:
        case CECRASH_DWARF_CFA_REG_RULE_VAL_EXPRESSION: {
            uint64_t blockLength = 0;
            size_t size = 0;
            if (const cecrash_error_t error = dwarf_read_task_uleb128(value, 0, &blockLength, &size))
                return error;
            const uint64_t start = static_cast<uint64_t>(value) + size;
            cecrash_async_mobject block;
            if (const cecrash_error_t error = cecrash_async_mobject_init(&block, start, blockLength, true))
                return error;
            machine_ptr computed = 0;
            const cecrash_error_t error = dwarf_expression_eval<machine_ptr, machine_ptr_s>(
                &block, thread_state, byteorder, start, 0, blockLength, &cfa, 1, &computed);
            cecrash_async_mobject_free(&block);
            if (error != CECRASH_ESUCCESS)
                return error;
            if (kind == CECRASH_DWARF_CFA_REG_RULE_EXPRESSION) {
                if (const cecrash_error_t readError = readWord<machine_ptr>(byteorder, computed, &result))
                    return readError;
            } else {
                result = computed;
            }
            break;
        }
        default:
            return CECRASH_EINVAL;
        }
        cecrash_async_thread_state_set_reg(new_thread_state, target, result);
        if (column == cie_info->return_address_register && returnMapped && target != CECRASH_REG_IP)
            cecrash_async_thread_state_set_reg(new_thread_state, CECRASH_REG_IP, result);
    }

    if (!cecrash_async_thread_state_has_reg(new_thread_state, CECRASH_REG_IP)) {
        if (!returnMapped || !cecrash_async_thread_state_has_reg(thread_state, returnRegister))
            return CECRASH_EINVAL;
        cecrash_async_thread_state_set_reg(new_thread_state, CECRASH_REG_IP,
                                           cecrash_async_thread_state_get_reg(thread_state, returnRegister));
    }
    return CECRASH_ESUCCESS;
}

template <typename machine_ptr, typename machine_ptr_s>
dwarf_cfa_state_iterator<machine_ptr, machine_ptr_s>::dwarf_cfa_state_iterator(
    const dwarf_cfa_state<machine_ptr, machine_ptr_s>* state)
    : state_(state), entry_(state->levels_[state->top_].buckets[0])
{
}

template <typename machine_ptr, typename machine_ptr_s>
bool dwarf_cfa_state_iterator<machine_ptr, machine_ptr_s>::next(uint32_t* column, cecrash_dwarf_cfa_reg_rule_t* rule,
                                                                machine_ptr* value)
{
    using state_type = dwarf_cfa_state<machine_ptr, machine_ptr_s>;
    const auto& current = state_->levels_[state_->top_];
    if (bucket_ >= state_type::kBuckets)
        return false;
    while (entry_ == state_type::kEndOfChain) {
        if (++bucket_ >= state_type::kBuckets)
            return false;
        entry_ = current.buckets[bucket_];
    }
    const auto& found = state_->entries_[entry_];
    *column = found.column;
    *rule = static_cast<cecrash_dwarf_cfa_reg_rule_t>(found.rule);
    *value = found.value;
    entry_ = found.next;
    return true;
}

template class dwarf_cfa_state<uint32_t, int32_t>;
template class dwarf_cfa_state<uint64_t, int64_t>;
template class dwarf_cfa_state_iterator<uint32_t, int32_t>;
template class dwarf_cfa_state_iterator<uint64_t, int64_t>;

}  // namespace cecrash::async
