#include "sdk/crash-engine/dwarf/DwarfExpression.h"

#include "sdk/crash-engine/dwarf/DwarfPrimitives.h"
#include "sdk/crash-engine/linux/MemoryReader.h"

namespace cecrash::async {

namespace {

constexpr size_t kStackDepth = 100;

// Expression opcodes.
enum : uint8_t {
    DW_OP_deref = 0x06,
    DW_OP_const1u = 0x08,
    DW_OP_const1s = 0x09,
    DW_OP_const2u = 0x0a,
    DW_OP_const2s = 0x0b,
    DW_OP_const4u = 0x0c,
    DW_OP_const4s = 0x0d,
    DW_OP_const8u = 0x0e,
    DW_OP_const8s = 0x0f,
    DW_OP_constu = 0x10,
    DW_OP_consts = 0x11,
    DW_OP_dup = 0x12,
    DW_OP_drop = 0x13,
    DW_OP_over = 0x14,
    DW_OP_pick = 0x15,
    DW_OP_swap = 0x16,
    DW_OP_rot = 0x17,
    DW_OP_xderef = 0x18,
    DW_OP_abs = 0x19,
    DW_OP_and = 0x1a,
    DW_OP_div = 0x1b,
    DW_OP_minus = 0x1c,
    DW_OP_mod = 0x1d,
    DW_OP_mul = 0x1e,
    DW_OP_neg = 0x1f,
    DW_OP_not = 0x20,
    DW_OP_or = 0x21,
    DW_OP_plus = 0x22,
    DW_OP_plus_uconst = 0x23,
    DW_OP_shl = 0x24,
    DW_OP_shr = 0x25,
    DW_OP_shra = 0x26,
    DW_OP_xor = 0x27,
    DW_OP_bra = 0x28,
    DW_OP_eq = 0x29,
    DW_OP_ge = 0x2a,
    DW_OP_gt = 0x2b,
    DW_OP_le = 0x2c,
    DW_OP_lt = 0x2d,
    DW_OP_ne = 0x2e,
    DW_OP_skip = 0x2f,
    DW_OP_lit0 = 0x30,
    DW_OP_lit31 = 0x4f,
    DW_OP_breg0 = 0x70,
    DW_OP_breg31 = 0x8f,
    DW_OP_bregx = 0x92,
    DW_OP_deref_size = 0x94,
    DW_OP_xderef_size = 0x95,
    DW_OP_nop = 0x96,
};

// The evaluation stack; every operation says what an empty or full stack costs.
template <typename machine_ptr>
struct Stack {
    machine_ptr values[kStackDepth];
    size_t count = 0;

    // Async-signal-safe.
    bool push(machine_ptr value)
    {
        if (count == kStackDepth)
            return false;
        values[count++] = value;
        return true;
    }
    // Async-signal-safe.
    bool pop(machine_ptr* value)
    {
        if (count == 0)
            return false;
        *value = values[--count];
        return true;
    }
};

// Async-signal-safe. A value of `size` bytes from the process's memory, converted.
template <typename machine_ptr>
cecrash_error_t readTask(const cecrash_async_byteorder* order, machine_ptr address, size_t size, machine_ptr* value)
{
    uint64_t raw = 0;
    if (const cecrash_error_t error = cecrash_async_copy_from_task(address, 0, &raw, size))
        return error;
    switch (size) {
    case 1:
        *value = static_cast<machine_ptr>(raw & 0xff);
        break;
    case 2:
        *value = static_cast<machine_ptr>(order->swap16(static_cast<uint16_t>(raw)));
        break;
    case 4:
        *value = static_cast<machine_ptr>(order->swap32(static_cast<uint32_t>(raw)));
        break;
    default:
        *value = static_cast<machine_ptr>(order->swap64(raw));
        break;
    }
    return CECRASH_ESUCCESS;
}

}  // namespace

template <typename machine_ptr, typename machine_ptr_s>
cecrash_error_t dwarf_expression_eval(const cecrash_async_mobject* mobj, const cecrash_async_thread_state* thread_state,
                                      const cecrash_async_byteorder* byteorder, uint64_t address, uint64_t offset,
                                      uint64_t length, const machine_ptr* initial_stack, size_t initial_count,
                                      machine_ptr* result)
{
    Stack<machine_ptr> stack;
    for (size_t i = 0; i < initial_count; ++i) {
        if (!stack.push(initial_stack[i]))
            return CECRASH_EINTERNAL;
    }
    if (offset > INT64_MAX || length > INT64_MAX - offset)
        return CECRASH_EINVAL;
    const int64_t start = static_cast<int64_t>(offset);
    const int64_t end = static_cast<int64_t>(offset + length);
    int64_t at = start;

// Operand and stack helpers: each leaves the function with the error its case calls for.
#define CECRASH_POP(target, error_code)  \
    if (!stack.pop(&(target)))           \
        return error_code;
#define CECRASH_PUSH(value)              \
    if (!stack.push(value))              \
        return CECRASH_EINTERNAL;
#define CECRASH_OPERAND(size, target)                                                             \
    {                                                                                             \
        uint64_t operand_ = 0;                                                                    \
        if (at + static_cast<int64_t>(size) > end                                                 \
            || dwarf_read_sized(mobj, byteorder, address, at, size, &operand_) != CECRASH_ESUCCESS) \
            return CECRASH_EINVAL;                                                                \
        at += static_cast<int64_t>(size);                                                         \
        (target) = operand_;                                                                      \
    }

    while (at < end) {
        uint8_t opcode = 0;
        if (cecrash_async_mobject_read_uint8(mobj, address, at, &opcode) != CECRASH_ESUCCESS)
            return CECRASH_EINVAL;
        ++at;
        machine_ptr a = 0;
        machine_ptr b = 0;
        machine_ptr c = 0;
        uint64_t operand = 0;
        if (opcode >= DW_OP_lit0 && opcode <= DW_OP_lit31) {
            CECRASH_PUSH(static_cast<machine_ptr>(opcode - DW_OP_lit0));
            continue;
        }
        if ((opcode >= DW_OP_breg0 && opcode <= DW_OP_breg31) || opcode == DW_OP_bregx) {
            uint64_t column = opcode - DW_OP_breg0;
            size_t size = 0;
            if (opcode == DW_OP_bregx) {
                if (dwarf_read_uleb128(mobj, address, at, &column, &size) != CECRASH_ESUCCESS || at + static_cast<int64_t>(size) > end)
                    return CECRASH_EINVAL;
                at += static_cast<int64_t>(size);
            }
            int64_t displacement = 0;
            if (dwarf_read_sleb128(mobj, address, at, &displacement, &size) != CECRASH_ESUCCESS || at + static_cast<int64_t>(size) > end)
                return CECRASH_EINVAL;
            at += static_cast<int64_t>(size);
            uint32_t reg = 0;
            if (!cecrash_async_thread_state_map_dwarf_to_reg(thread_state, column, &reg))
                return CECRASH_ENOTSUP;
            if (!cecrash_async_thread_state_has_reg(thread_state, reg))
                return CECRASH_ENOTFOUND;
            CECRASH_PUSH(static_cast<machine_ptr>(cecrash_async_thread_state_get_reg(thread_state, reg) + static_cast<uint64_t>(displacement)));
            continue;
        }
        switch (opcode) {
        case DW_OP_deref:
        case DW_OP_xderef:
        case DW_OP_deref_size:
        case DW_OP_xderef_size: {
            const bool extended = opcode == DW_OP_xderef || opcode == DW_OP_xderef_size;
            size_t size = sizeof(machine_ptr);
            if (opcode == DW_OP_deref_size || opcode == DW_OP_xderef_size) {
                CECRASH_OPERAND(1, operand);
                if (operand != 1 && operand != 2 && operand != 4 && operand != 8)
                    return CECRASH_EINVAL;
                if (operand > sizeof(machine_ptr))
                    return CECRASH_EINVAL;
                size = static_cast<size_t>(operand);
            }
            CECRASH_POP(a, extended ? CECRASH_EINVAL : CECRASH_EINTERNAL);
            if (extended)
                CECRASH_POP(b, CECRASH_EINVAL);
            machine_ptr value = 0;
            if (const cecrash_error_t error = readTask<machine_ptr>(byteorder, a, size, &value))
                return error;
            CECRASH_PUSH(value);
            break;
        }
        case DW_OP_const1u:
        case DW_OP_const1s:
        case DW_OP_const2u:
        case DW_OP_const2s:
        case DW_OP_const4u:
        case DW_OP_const4s:
        case DW_OP_const8u:
        case DW_OP_const8s: {
            const size_t size = size_t{1} << ((opcode - DW_OP_const1u) / 2);
            CECRASH_OPERAND(size, operand);
            if ((opcode - DW_OP_const1u) % 2 == 1 && size < 8) {
                const unsigned unused = 64 - 8 * static_cast<unsigned>(size);
                operand = static_cast<uint64_t>(static_cast<int64_t>(operand << unused) >> unused);
            }
            CECRASH_PUSH(static_cast<machine_ptr>(operand));
            break;
        }
        case DW_OP_constu:
        case DW_OP_consts:
        case DW_OP_plus_uconst: {
            size_t size = 0;
            cecrash_error_t error = CECRASH_ESUCCESS;
            if (opcode == DW_OP_consts) {
                int64_t value = 0;
                error = dwarf_read_sleb128(mobj, address, at, &value, &size);
                operand = static_cast<uint64_t>(value);
            } else {
                error = dwarf_read_uleb128(mobj, address, at, &operand, &size);
            }
            if (error != CECRASH_ESUCCESS || at + static_cast<int64_t>(size) > end)
                return CECRASH_EINVAL;
            at += static_cast<int64_t>(size);
            if (opcode == DW_OP_plus_uconst) {
                CECRASH_POP(a, CECRASH_EINTERNAL);
                CECRASH_PUSH(static_cast<machine_ptr>(a + operand));
            } else {
                CECRASH_PUSH(static_cast<machine_ptr>(operand));
            }
            break;
        }
        case DW_OP_dup:
            CECRASH_POP(a, CECRASH_EINVAL);
            CECRASH_PUSH(a);
            CECRASH_PUSH(a);
            break;
        case DW_OP_drop:
            CECRASH_POP(a, CECRASH_EINVAL);
            break;
        case DW_OP_over:
            CECRASH_POP(a, CECRASH_EINVAL);
            CECRASH_POP(b, CECRASH_EINVAL);
            CECRASH_PUSH(b);
            CECRASH_PUSH(a);
            CECRASH_PUSH(b);
            break;
        case DW_OP_pick: {
            CECRASH_OPERAND(1, operand);
            if (operand >= stack.count)
                return CECRASH_EINVAL;
            CECRASH_PUSH(stack.values[stack.count - 1 - operand]);
            break;
        }
        case DW_OP_swap:
            CECRASH_POP(a, CECRASH_EINVAL);
            CECRASH_POP(b, CECRASH_EINVAL);
            CECRASH_PUSH(a);
            CECRASH_PUSH(b);
            break;
        case DW_OP_rot:
            // The top entry moves to third place, the second and third move up.
            CECRASH_POP(a, CECRASH_EINVAL);
            CECRASH_POP(b, CECRASH_EINVAL);
            CECRASH_POP(c, CECRASH_EINVAL);
            CECRASH_PUSH(a);
            CECRASH_PUSH(c);
            CECRASH_PUSH(b);
            break;
        case DW_OP_abs:
            CECRASH_POP(a, CECRASH_EINTERNAL);
            CECRASH_PUSH(static_cast<machine_ptr_s>(a) < 0 ? static_cast<machine_ptr>(0 - a) : a);
            break;
        case DW_OP_neg:
            CECRASH_POP(a, CECRASH_EINTERNAL);
            CECRASH_PUSH(static_cast<machine_ptr>(0 - a));
            break;
        case DW_OP_not:
            CECRASH_POP(a, CECRASH_EINTERNAL);
            CECRASH_PUSH(static_cast<machine_ptr>(~a));
            break;
        case DW_OP_and:
        case DW_OP_div:
        case DW_OP_minus:
        case DW_OP_mod:
        case DW_OP_mul:
        case DW_OP_or:
        case DW_OP_plus:
        case DW_OP_xor:
        case DW_OP_shl:
        case DW_OP_shr:
        case DW_OP_shra:
        case DW_OP_eq:
        case DW_OP_ge:
        case DW_OP_gt:
        case DW_OP_le:
        case DW_OP_lt:
        case DW_OP_ne: {
            // a is the top, b the entry beneath it: the result is b op a.
            CECRASH_POP(a, CECRASH_EINTERNAL);
            CECRASH_POP(b, CECRASH_EINTERNAL);
            machine_ptr value = 0;
            const unsigned shift = static_cast<unsigned>(a % 64);
            switch (opcode) {
            case DW_OP_and: value = b & a; break;
            case DW_OP_div:
            case DW_OP_mod:
                if (a == 0)
                    return CECRASH_EINVAL;
                value = opcode == DW_OP_div ? b / a : b % a;
                break;
            case DW_OP_minus: value = static_cast<machine_ptr>(b - a); break;
            case DW_OP_mul: value = static_cast<machine_ptr>(b * a); break;
            case DW_OP_or: value = b | a; break;
            case DW_OP_plus: value = static_cast<machine_ptr>(b + a); break;
            case DW_OP_xor: value = b ^ a; break;
            case DW_OP_shl: value = shift >= sizeof(machine_ptr) * 8 ? 0 : static_cast<machine_ptr>(b << shift); break;
            case DW_OP_shr: value = shift >= sizeof(machine_ptr) * 8 ? 0 : static_cast<machine_ptr>(b >> shift); break;
            case DW_OP_shra: {
                const unsigned bits = sizeof(machine_ptr) * 8;
                const machine_ptr_s signedValue = static_cast<machine_ptr_s>(b);
                value = static_cast<machine_ptr>(signedValue >> (shift >= bits ? bits - 1 : shift));
                break;
            }
            case DW_OP_eq: value = b == a; break;
            case DW_OP_ge: value = b >= a; break;
            case DW_OP_gt: value = b > a; break;
            case DW_OP_le: value = b <= a; break;
            case DW_OP_lt: value = b < a; break;
            default: value = b != a; break;
            }
            CECRASH_PUSH(value);
            break;
        }
        case DW_OP_skip:
        case DW_OP_bra: {
            CECRASH_OPERAND(2, operand);
            const int64_t distance = static_cast<int16_t>(static_cast<uint16_t>(operand));
            bool taken = true;
            if (opcode == DW_OP_bra) {
                CECRASH_POP(a, CECRASH_EINTERNAL);
                taken = a != 0;
            }
            if (taken) {
                const int64_t target = at + distance;
                if (target < start || target > end)
                    return CECRASH_EINVAL;
                at = target;
            }
            break;
        }
        case DW_OP_nop:
            break;
        default:
            return CECRASH_ENOTSUP;
        }
    }
#undef CECRASH_POP
#undef CECRASH_PUSH
#undef CECRASH_OPERAND
    if (stack.count == 0)
        return CECRASH_EINVAL;
    *result = stack.values[stack.count - 1];
    return CECRASH_ESUCCESS;
}

template cecrash_error_t dwarf_expression_eval<uint32_t, int32_t>(const cecrash_async_mobject*,
                                                                  const cecrash_async_thread_state*,
                                                                  const cecrash_async_byteorder*, uint64_t, uint64_t,
                                                                  uint64_t, const uint32_t*, size_t, uint32_t*);
template cecrash_error_t dwarf_expression_eval<uint64_t, int64_t>(const cecrash_async_mobject*,
                                                                  const cecrash_async_thread_state*,
                                                                  const cecrash_async_byteorder*, uint64_t, uint64_t,
                                                                  uint64_t, const uint64_t*, size_t, uint64_t*);

}  // namespace cecrash::async
