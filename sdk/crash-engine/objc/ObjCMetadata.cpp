#include "sdk/crash-engine/objc/ObjCMetadata.h"

#include "sdk/crash-engine/linux/MemoryReader.h"

#include <initializer_list>
#include <sys/mman.h>

namespace {

using Section = decltype(cecrash_async_objc_cache::objc_const);

constexpr size_t kPage = 4096;
constexpr size_t kClassCacheBytes = 16 * 1024;
constexpr size_t kClassCacheEntries = 1024;
constexpr uint64_t kDataMask64 = 0x7ffffffffff8;
constexpr uint64_t kDataMask32 = ~uint64_t{7};
constexpr uint32_t kRealized = 1u << 31;
constexpr uint32_t kCopiedReadOnly = 1u << 27;
constexpr uint32_t kRelativeMethods = 0x80000000;
constexpr uint32_t kEntrySizeMask = 0xfffc;
constexpr uint32_t kLegacySingleMethodList = 0x4000;
const char* const kDataSegments[] = {"__DATA", "__DATA_CONST", "__DATA_DIRTY"};

// Async-signal-safe.
size_t wordSize(const cecrash_async_macho_image* image)
{
    return image->m64 ? 8 : 4;
}

// Async-signal-safe. A machine word of the image from memory.
cecrash_error_t readTaskWord(const cecrash_async_macho_image* image, uint64_t address, uint64_t* value)
{
    *value = 0;
    if (image->m64) {
        if (const cecrash_error_t error = cecrash_async_copy_from_task(address, 0, value, 8))
            return error;
        *value = image->byteorder->swap64(*value);
        return CECRASH_ESUCCESS;
    }
    uint32_t narrow = 0;
    if (const cecrash_error_t error = cecrash_async_copy_from_task(address, 0, &narrow, 4))
        return error;
    *value = image->byteorder->swap32(narrow);
    return CECRASH_ESUCCESS;
}

// Async-signal-safe. A 32-bit value of the image from memory.
cecrash_error_t readTask32(const cecrash_async_macho_image* image, uint64_t address, uint32_t* value)
{
    if (const cecrash_error_t error = cecrash_async_copy_from_task(address, 0, value, 4))
        return error;
    *value = image->byteorder->swap32(*value);
    return CECRASH_ESUCCESS;
}

// Async-signal-safe. Whether [address, + length) lies in a mapped section.
bool holds(const Section& section, uint64_t address, size_t length)
{
    return section.mapped && cecrash_async_mobject_remap_address(&section.mobj, address, 0, length) != nullptr;
}

// Async-signal-safe. A machine word at address inside a mapped section.
bool sectionWord(const cecrash_async_macho_image* image, const Section& section, uint64_t address, int64_t offset,
                 uint64_t* value)
{
    if (!section.mapped)
        return false;
    if (image->m64)
        return cecrash_async_mobject_read_uint64(&section.mobj, image->byteorder, address, offset, value) == CECRASH_ESUCCESS;
    uint32_t narrow = 0;
    const bool read = cecrash_async_mobject_read_uint32(&section.mobj, image->byteorder, address, offset, &narrow) == CECRASH_ESUCCESS;
    *value = narrow;
    return read;
}

// Async-signal-safe.
void unmapAll(cecrash_async_objc_cache* cache)
{
    for (Section* section : {&cache->objc_const, &cache->objc_const_ax, &cache->methlist, &cache->selrefs, &cache->classlist,
                             &cache->catlist, &cache->objc_data, &cache->data}) {
        if (section->mapped)
            cecrash_async_mobject_free(&section->mobj);
        section->mapped = false;
    }
    cache->last_image = nullptr;
}

// Async-signal-safe. The section in the first data segment that has it.
cecrash_error_t mapInDataSegments(const cecrash_async_macho_image* image, const char* name, Section* section)
{
    cecrash_error_t error = CECRASH_ENOTFOUND;
    for (const char* segment : kDataSegments) {
        error = cecrash_async_macho_map_section(image, segment, name, &section->mobj);
        if (error != CECRASH_ENOTFOUND)
            break;
    }
    section->mapped = error == CECRASH_ESUCCESS;
    return error;
}

// Async-signal-safe.
void mapOptional(const cecrash_async_macho_image* image, const char* segment, const char* name, Section* section)
{
    section->mapped = cecrash_async_macho_map_section(image, segment, name, &section->mobj) == CECRASH_ESUCCESS;
}

// Async-signal-safe. Maps the modern metadata's sections of an image, once per image.
cecrash_error_t mapSections(const cecrash_async_macho_image* image, cecrash_async_objc_cache* cache)
{
    if (cache->last_image == image)
        return CECRASH_ESUCCESS;
    unmapAll(cache);
    cecrash_error_t error = mapInDataSegments(image, "__objc_const", &cache->objc_const);
    if (error == CECRASH_ESUCCESS) {
        mapOptional(image, "__DATA", "__objc_const_ax", &cache->objc_const_ax);
        mapOptional(image, "__TEXT", "__objc_methlist", &cache->methlist);
        mapOptional(image, "__DATA", "__objc_selrefs", &cache->selrefs);
        error = mapInDataSegments(image, "__objc_classlist", &cache->classlist);
    }
    if (error == CECRASH_ESUCCESS)
        error = mapInDataSegments(image, "__objc_catlist", &cache->catlist);
    if (error == CECRASH_ESUCCESS) {
        error = cecrash_async_macho_map_section(image, "__DATA", "__objc_data", &cache->objc_data.mobj);
        cache->objc_data.mapped = error == CECRASH_ESUCCESS;
    }
    if (error != CECRASH_ESUCCESS) {
        unmapAll(cache);
        return error;
    }
    mapOptional(image, "__DATA", "__data", &cache->data);
    cache->last_image = image;
    return CECRASH_ESUCCESS;
}

// Async-signal-safe.
bool classCacheLookup(const cecrash_async_objc_cache* cache, uint64_t key, uint64_t* value)
{
    if (cache->class_cache_size == 0)
        return false;
    const size_t slot = (key / 4) % cache->class_cache_size;
    if (cache->class_cache_keys[slot] != key)
        return false;
    *value = cache->class_cache_values[slot];
    return true;
}

// Async-signal-safe. Fills an empty slot only; allocates the cache on first use.
void classCacheInsert(cecrash_async_objc_cache* cache, uint64_t key, uint64_t value)
{
    if (cache->class_cache_keys == nullptr) {
        void* block = mmap(nullptr, kClassCacheBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED)
            return;
        cache->class_cache_keys = static_cast<uint64_t*>(block);
        cache->class_cache_values = cache->class_cache_keys + kClassCacheEntries;
        cache->class_cache_size = kClassCacheEntries;
    }
    const size_t slot = (key / 4) % cache->class_cache_size;
    if (cache->class_cache_keys[slot] == 0) {
        cache->class_cache_keys[slot] = key;
        cache->class_cache_values[slot] = value;
    }
}

// What a walk hands to each method.
struct Walk {
    const cecrash_async_macho_image* image;
    cecrash_async_objc_cache* cache;
    cecrash_async_objc_found_method_cb callback;
    void* context;
};

// Async-signal-safe. Reports each method of the modern list at `list`.
cecrash_error_t walkMethodList(const Walk& walk, uint64_t list, bool isClassMethod, cecrash_async_objc_task_string* className)
{
    if (list == 0)
        return CECRASH_ESUCCESS;
    cecrash_async_objc_cache* cache = walk.cache;
    const cecrash_async_macho_image* image = walk.image;
    const Section* section = nullptr;
    for (const Section* candidate : {&cache->objc_const, &cache->objc_const_ax, &cache->methlist}) {
        if (holds(*candidate, list, 8)) {
            section = candidate;
            break;
        }
    }
    if (section == nullptr)
        return CECRASH_EINVALID_DATA;
    uint32_t flags = 0;
    uint32_t count = 0;
    cecrash_async_mobject_read_uint32(&section->mobj, image->byteorder, list, 0, &flags);
    cecrash_async_mobject_read_uint32(&section->mobj, image->byteorder, list, 4, &count);
    const uint64_t entrySize = flags & kEntrySizeMask;
    const bool relative = image->m64 && (flags & kRelativeMethods) != 0;
    if (count == 0)
        return CECRASH_ESUCCESS;
    if (!holds(*section, list + 8, static_cast<size_t>(uint64_t{count} * entrySize)) || entrySize < (relative ? 12 : 3 * wordSize(image)))
        return CECRASH_EINVALID_DATA;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t entry = list + 8 + uint64_t{i} * entrySize;
        uint64_t selector = 0;
        uint64_t imp = 0;
        if (relative) {
            uint32_t selectorOffset = 0;
            uint32_t impOffset = 0;
            cecrash_async_mobject_read_uint32(&section->mobj, image->byteorder, entry, 0, &selectorOffset);
            cecrash_async_mobject_read_uint32(&section->mobj, image->byteorder, entry, 8, &impOffset);
            selector = entry + static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(selectorOffset)));
            imp = entry + 8 + static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(impOffset)));
        } else {
            sectionWord(image, *section, entry, 0, &selector);
            sectionWord(image, *section, entry, static_cast<int64_t>(2 * wordSize(image)), &imp);
        }
        // A selector reference holds the selector's name.
        if (holds(cache->selrefs, selector, wordSize(image)))
            sectionWord(image, cache->selrefs, selector, 0, &selector);
        cecrash_async_objc_task_string methodName;
        cecrash_async_objc_task_string_init(&methodName, image, selector);
        walk.callback(isClassMethod, className, &methodName, imp, walk.context);
        cecrash_async_objc_task_string_free(&methodName);
    }
    return CECRASH_ESUCCESS;
}

// Async-signal-safe. The name and base methods of a class whose data word is `dataWord`.
cecrash_error_t readOnlyData(const Walk& walk, uint64_t dataWord, uint64_t* nameAddress, uint64_t* methods)
{
    const cecrash_async_macho_image* image = walk.image;
    cecrash_async_objc_cache* cache = walk.cache;
    const uint64_t data = dataWord & (image->m64 ? kDataMask64 : kDataMask32);
    const size_t readOnlySize = image->m64 ? 72 : 40;
    const int64_t nameOffset = image->m64 ? 24 : 16;
    const int64_t methodsOffset = image->m64 ? 32 : 20;
    uint64_t readOnly = 0;
    bool fromTask = false;
    if (classCacheLookup(cache, data, &readOnly)) {
        fromTask = !holds(cache->objc_const, readOnly, readOnlySize);
    } else {
        uint32_t flags = 0;
        if (readTask32(image, data, &flags) != CECRASH_ESUCCESS)
            return CECRASH_EINVALID_DATA;
        readOnly = data;
        if ((flags & kRealized) != 0 && readTaskWord(image, data + 8, &readOnly) != CECRASH_ESUCCESS)
            return CECRASH_EINVALID_DATA;
        if ((readOnly & 1) != 0 && readTaskWord(image, readOnly & ~uint64_t{1}, &readOnly) != CECRASH_ESUCCESS)
            return CECRASH_EINVALID_DATA;
        fromTask = (flags & kCopiedReadOnly) != 0 || !cecrash_async_macho_contains_address(image, readOnly);
        if (!fromTask && !holds(cache->objc_const, readOnly, readOnlySize))
            return CECRASH_EINVALID_DATA;
        classCacheInsert(cache, data, readOnly);
    }
    if (fromTask) {
        if (readTaskWord(image, readOnly + static_cast<uint64_t>(nameOffset), nameAddress) != CECRASH_ESUCCESS
            || readTaskWord(image, readOnly + static_cast<uint64_t>(methodsOffset), methods) != CECRASH_ESUCCESS)
            return CECRASH_EINVALID_DATA;
    } else if (!sectionWord(image, cache->objc_const, readOnly, nameOffset, nameAddress)
               || !sectionWord(image, cache->objc_const, readOnly, methodsOffset, methods)) {
        return CECRASH_EINVALID_DATA;
    }
    return CECRASH_ESUCCESS;
}

// Async-signal-safe. A class record's isa and data words from "__objc_data" or "__data".
cecrash_error_t classRecord(const Walk& walk, uint64_t address, uint64_t* isa, uint64_t* data)
{
    const size_t word = wordSize(walk.image);
    for (const Section* section : {&walk.cache->objc_data, &walk.cache->data}) {
        if (holds(*section, address, 5 * word)) {
            sectionWord(walk.image, *section, address, 0, isa);
            sectionWord(walk.image, *section, address, static_cast<int64_t>(4 * word), data);
            return CECRASH_ESUCCESS;
        }
    }
    return CECRASH_EINVALID_DATA;
}

// Async-signal-safe. Reports the methods of the class record at address.
cecrash_error_t walkClass(const Walk& walk, uint64_t address, bool isClassMethod, uint64_t* isa)
{
    uint64_t data = 0;
    if (const cecrash_error_t error = classRecord(walk, address, isa, &data))
        return error;
    uint64_t nameAddress = 0;
    uint64_t methods = 0;
    if (const cecrash_error_t error = readOnlyData(walk, data, &nameAddress, &methods))
        return error;
    cecrash_async_objc_task_string className;
    cecrash_async_objc_task_string_init(&className, walk.image, nameAddress);
    const cecrash_error_t error = walkMethodList(walk, methods, isClassMethod, &className);
    cecrash_async_objc_task_string_free(&className);
    return error;
}

// Async-signal-safe. The modern metadata: classes, their metaclasses, then categories.
cecrash_error_t walkModern(const Walk& walk)
{
    const cecrash_async_macho_image* image = walk.image;
    cecrash_async_objc_cache* cache = walk.cache;
    if (const cecrash_error_t error = mapSections(image, cache))
        return error;
    const size_t word = wordSize(image);
    const uint64_t classes = cecrash_async_mobject_base_address(&cache->classlist.mobj);
    for (uint64_t at = 0; at + word <= cecrash_async_mobject_length(&cache->classlist.mobj); at += word) {
        uint64_t pointer = 0;
        sectionWord(image, cache->classlist, classes, static_cast<int64_t>(at), &pointer);
        uint64_t isa = 0;
        const cecrash_error_t error = walkClass(walk, pointer, false, &isa);
        if (error != CECRASH_ESUCCESS && error != CECRASH_ENOTFOUND)
            return error;
        if (error == CECRASH_ENOTFOUND)
            continue;
        if ((isa & 1) != 0)
            isa &= kDataMask64;
        uint64_t metaIsa = 0;
        if (const cecrash_error_t metaError = walkClass(walk, isa, true, &metaIsa))
            return metaError;
    }
    const uint64_t categories = cecrash_async_mobject_base_address(&cache->catlist.mobj);
    for (uint64_t at = 0; at + word <= cecrash_async_mobject_length(&cache->catlist.mobj); at += word) {
        uint64_t category = 0;
        sectionWord(image, cache->catlist, categories, static_cast<int64_t>(at), &category);
        if (!holds(cache->objc_const, category, 6 * word))
            return CECRASH_EINVALID_DATA;
        uint64_t cls = 0;
        uint64_t instanceMethods = 0;
        uint64_t classMethods = 0;
        sectionWord(image, cache->objc_const, category, static_cast<int64_t>(word), &cls);
        sectionWord(image, cache->objc_const, category, static_cast<int64_t>(2 * word), &instanceMethods);
        sectionWord(image, cache->objc_const, category, static_cast<int64_t>(3 * word), &classMethods);
        uint64_t isa = 0;
        uint64_t data = 0;
        if (classRecord(walk, cls, &isa, &data) != CECRASH_ESUCCESS
            && readTaskWord(image, cls + 4 * word, &data) != CECRASH_ESUCCESS)
            return CECRASH_EINVALID_DATA;
        uint64_t nameAddress = 0;
        uint64_t unused = 0;
        if (const cecrash_error_t error = readOnlyData(walk, data, &nameAddress, &unused))
            return error;
        cecrash_async_objc_task_string className;
        cecrash_async_objc_task_string_init(&className, image, nameAddress);
        cecrash_error_t error = walkMethodList(walk, instanceMethods, false, &className);
        if (error == CECRASH_ESUCCESS || error == CECRASH_ENOTFOUND)
            error = walkMethodList(walk, classMethods, true, &className);
        cecrash_async_objc_task_string_free(&className);
        if (error != CECRASH_ESUCCESS && error != CECRASH_ENOTFOUND)
            return error;
    }
    cache->got_modern_metadata = true;
    return CECRASH_ESUCCESS;
}

// Async-signal-safe. Reports one legacy method list (obsolete word, count, 12-byte entries).
cecrash_error_t walkLegacyList(const Walk& walk, uint64_t list, bool isClassMethod, cecrash_async_objc_task_string* className)
{
    uint32_t count = 0;
    if (readTask32(walk.image, list + 4, &count) != CECRASH_ESUCCESS)
        return CECRASH_EINVALID_DATA;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t name = 0;
        uint32_t imp = 0;
        const uint64_t entry = list + 8 + uint64_t{i} * 12;
        if (readTask32(walk.image, entry, &name) != CECRASH_ESUCCESS || readTask32(walk.image, entry + 8, &imp) != CECRASH_ESUCCESS)
            return CECRASH_EINVALID_DATA;
        cecrash_async_objc_task_string methodName;
        cecrash_async_objc_task_string_init(&methodName, walk.image, name);
        walk.callback(isClassMethod, className, &methodName, imp, walk.context);
        cecrash_async_objc_task_string_free(&methodName);
    }
    return CECRASH_ESUCCESS;
}

// Async-signal-safe. Reports the methods of a 40-byte legacy class; isa gets its metaclass.
cecrash_error_t walkLegacyClass(const Walk& walk, uint64_t address, bool isClassMethod, uint32_t* isa)
{
    uint32_t fields[10] = {};
    if (cecrash_async_copy_from_task(address, 0, fields, sizeof(fields)) != CECRASH_ESUCCESS)
        return CECRASH_EINVALID_DATA;
    for (uint32_t& field : fields)
        field = walk.image->byteorder->swap32(field);
    *isa = fields[0];
    cecrash_async_objc_task_string className;
    cecrash_async_objc_task_string_init(&className, walk.image, fields[2]);
    const uint32_t info = fields[4];
    const uint32_t lists = fields[7];
    cecrash_error_t error = CECRASH_ESUCCESS;
    if ((info & kLegacySingleMethodList) != 0) {
        error = lists != 0 ? walkLegacyList(walk, lists, isClassMethod, &className) : CECRASH_ESUCCESS;
    } else {
        for (uint64_t at = lists; lists != 0 && error == CECRASH_ESUCCESS; at += 4) {
            uint32_t list = 0;
            if (readTask32(walk.image, at, &list) != CECRASH_ESUCCESS) {
                error = CECRASH_EINVALID_DATA;
                break;
            }
            if (list == 0 || list == 0xffffffff)
                break;
            error = walkLegacyList(walk, list, isClassMethod, &className);
        }
    }
    cecrash_async_objc_task_string_free(&className);
    return error;
}

// Async-signal-safe. The legacy module format: 8 when the image has no module section.
cecrash_error_t walkLegacy(const Walk& walk)
{
    cecrash_async_mobject modules;
    if (const cecrash_error_t error = cecrash_async_macho_map_section(walk.image, "__OBJC", "__module_info", &modules))
        return error;
    cecrash_error_t result = CECRASH_ESUCCESS;
    const uint64_t base = cecrash_async_mobject_base_address(&modules);
    for (uint64_t at = 0; at + 16 <= cecrash_async_mobject_length(&modules) && result == CECRASH_ESUCCESS; at += 16) {
        uint32_t symtab = 0;
        cecrash_async_mobject_read_uint32(&modules, walk.image->byteorder, base, static_cast<int64_t>(at + 12), &symtab);
        if (symtab == 0)
            continue;
        uint16_t classCount = 0;
        if (cecrash_async_copy_from_task(symtab, 8, &classCount, 2) != CECRASH_ESUCCESS) {
            result = CECRASH_EINVALID_DATA;
            break;
        }
        classCount = walk.image->byteorder->swap16(classCount);
        for (uint16_t i = 0; i < classCount && result == CECRASH_ESUCCESS; ++i) {
            uint32_t cls = 0;
            if (readTask32(walk.image, symtab + 12 + uint64_t{i} * 4, &cls) != CECRASH_ESUCCESS) {
                result = CECRASH_EINVALID_DATA;
                break;
            }
            uint32_t isa = 0;
            result = walkLegacyClass(walk, cls, false, &isa);
            uint32_t unused = 0;
            if (result == CECRASH_ESUCCESS)
                result = walkLegacyClass(walk, isa, true, &unused);
        }
    }
    cecrash_async_mobject_free(&modules);
    return result;
}

// The state of the two walks of a method search.
struct MethodSearch {
    uint64_t address;
    uint64_t best;
    bool found;
    bool reported;
    cecrash_async_objc_found_method_cb callback;
    void* context;
};

// A method's name as "-[Class method]" or "+[Class method]", cut to the buffer.
struct NamedMethod {
    bool named;
    uint64_t imp;
    char name[CECRASH_ASYNC_SYMBOL_NAME_MAX + 1];
};

// Async-signal-safe. Appends up to length characters while there is room.
size_t append(char* buffer, size_t at, const char* text, size_t length)
{
    for (size_t i = 0; i < length && at < CECRASH_ASYNC_SYMBOL_NAME_MAX; ++i)
        buffer[at++] = text[i];
    buffer[at] = '\0';
    return at;
}

}  // namespace

void cecrash_async_objc_task_string_init(cecrash_async_objc_task_string* string, const cecrash_async_macho_image* image,
                                         uint64_t address)
{
    string->image = image;
    string->address = address;
    string->mapped = false;
    string->length = 0;
}

cecrash_error_t cecrash_async_objc_task_string_length(cecrash_async_objc_task_string* string, size_t* length)
{
    if (string->mapped) {
        *length = string->length;
        return CECRASH_ESUCCESS;
    }
    for (size_t pages = 1;; ++pages) {
        cecrash_async_mobject view;
        if (const cecrash_error_t error = cecrash_async_mobject_init(&view, string->address, pages * kPage, false))
            return error;
        const auto* text = static_cast<const char*>(cecrash_async_mobject_remap_address(&view, string->address, 0, 1));
        const uint64_t viewLength = cecrash_async_mobject_length(&view);
        for (uint64_t i = 0; i < viewLength; ++i) {
            if (text[i] == '\0') {
                string->mobj = view;
                string->mapped = true;
                string->length = static_cast<size_t>(i);
                *length = string->length;
                return CECRASH_ESUCCESS;
            }
        }
        cecrash_async_mobject_free(&view);
        if (viewLength < pages * kPage)
            return CECRASH_EINVAL;
    }
}

const char* cecrash_async_objc_task_string_pointer(cecrash_async_objc_task_string* string)
{
    size_t length = 0;
    if (cecrash_async_objc_task_string_length(string, &length) != CECRASH_ESUCCESS)
        return nullptr;
    return static_cast<const char*>(cecrash_async_mobject_remap_address(&string->mobj, string->address, 0, length + 1));
}

void cecrash_async_objc_task_string_free(cecrash_async_objc_task_string* string)
{
    if (string->mapped)
        cecrash_async_mobject_free(&string->mobj);
    string->mapped = false;
}

cecrash_error_t cecrash_async_objc_cache_init(cecrash_async_objc_cache* cache)
{
    cecrash_async_fill_bytes(cache, 0, sizeof(*cache));
    return CECRASH_ESUCCESS;
}

void cecrash_async_objc_cache_free(cecrash_async_objc_cache* cache)
{
    unmapAll(cache);
    if (cache->class_cache_keys != nullptr)
        munmap(cache->class_cache_keys, kClassCacheBytes);
    cache->class_cache_keys = nullptr;
    cache->class_cache_values = nullptr;
    cache->class_cache_size = 0;
}

cecrash_error_t cecrash_async_objc_for_each_method(const cecrash_async_macho_image* image, cecrash_async_objc_cache* cache,
                                                   cecrash_async_objc_found_method_cb callback, void* context)
{
    if (cache == nullptr)
        return CECRASH_EACCESS;
    const Walk walk{image, cache, callback, context};
    if (!cache->got_modern_metadata) {
        const cecrash_error_t legacy = walkLegacy(walk);
        if (legacy != CECRASH_ENOTFOUND)
            return legacy;
    }
    return walkModern(walk);
}

cecrash_error_t cecrash_async_objc_find_method(const cecrash_async_macho_image* image, cecrash_async_objc_cache* cache,
                                               uint64_t address, cecrash_async_objc_found_method_cb callback,
                                               void* context)
{
    MethodSearch search{address, 0, false, false, callback, context};
    cecrash_error_t error = cecrash_async_objc_for_each_method(
        image, cache,
        [](bool, cecrash_async_objc_task_string*, cecrash_async_objc_task_string*, uint64_t imp, void* state) {
            auto* s = static_cast<MethodSearch*>(state);
            if (imp <= s->address && (!s->found || imp > s->best)) {
                s->best = imp;
                s->found = true;
            }
        },
        &search);
    if (error != CECRASH_ESUCCESS)
        return error;
    if (!search.found)
        return CECRASH_ENOTFOUND;
    error = cecrash_async_objc_for_each_method(
        image, cache,
        [](bool isClassMethod, cecrash_async_objc_task_string* className, cecrash_async_objc_task_string* methodName,
           uint64_t imp, void* state) {
            auto* s = static_cast<MethodSearch*>(state);
            if (s->reported || imp != s->best)
                return;
            s->reported = true;
            s->callback(isClassMethod, className, methodName, imp, s->context);
        },
        &search);
    return error;
}

cecrash_error_t cecrash_async_find_symbol(const cecrash_async_macho_image* image, uint32_t strategy,
                                          cecrash_async_objc_cache* cache, uint64_t address,
                                          cecrash_async_found_symbol_cb callback, void* context)
{
    struct Candidate {
        bool found;
        uint64_t start;
        char name[CECRASH_ASYNC_SYMBOL_NAME_MAX + 1];
    } candidate{false, 0, {}};
    bool anySucceeded = false;
    if ((strategy & CECRASH_ASYNC_SYMBOL_STRATEGY_SYMBOL_TABLE) != 0) {
        const cecrash_error_t error = cecrash_async_macho_find_symbol_by_address(
            image, address,
            [](uint64_t start, const char* name, void* state) {
                auto* c = static_cast<Candidate*>(state);
                c->found = true;
                c->start = start;
                size_t length = 0;
                while (name[length] != '\0')
                    ++length;
                append(c->name, 0, name, length);
            },
            &candidate);
        anySucceeded = error == CECRASH_ESUCCESS;
    }
    if ((strategy & CECRASH_ASYNC_SYMBOL_STRATEGY_OBJC) != 0) {
        NamedMethod method{false, 0, {}};
        const cecrash_error_t error = cecrash_async_objc_find_method(
            image, cache, address,
            [](bool isClassMethod, cecrash_async_objc_task_string* className, cecrash_async_objc_task_string* methodName,
               uint64_t imp, void* state) {
                auto* m = static_cast<NamedMethod*>(state);
                size_t classLength = 0;
                size_t methodLength = 0;
                const char* classText = cecrash_async_objc_task_string_pointer(className);
                const char* methodText = cecrash_async_objc_task_string_pointer(methodName);
                if (classText == nullptr || methodText == nullptr
                    || cecrash_async_objc_task_string_length(className, &classLength) != CECRASH_ESUCCESS
                    || cecrash_async_objc_task_string_length(methodName, &methodLength) != CECRASH_ESUCCESS)
                    return;
                size_t at = append(m->name, 0, isClassMethod ? "+[" : "-[", 2);
                at = append(m->name, at, classText, classLength);
                at = append(m->name, at, " ", 1);
                at = append(m->name, at, methodText, methodLength);
                append(m->name, at, "]", 1);
                m->named = true;
                m->imp = imp;
            },
            &method);
        if (error == CECRASH_ESUCCESS) {
            anySucceeded = true;
            if (method.named && (!candidate.found || method.imp >= candidate.start)) {
                candidate.found = true;
                candidate.start = method.imp;
                size_t length = 0;
                while (method.name[length] != '\0')
                    ++length;
                append(candidate.name, 0, method.name, length);
            }
        }
    }
    if (!anySucceeded)
        return CECRASH_ENOTFOUND;
    if (!candidate.found)
        return CECRASH_EINTERNAL;
    callback(candidate.start, candidate.name, context);
    return CECRASH_ESUCCESS;
}
