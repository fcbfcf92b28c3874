// Linked into every test of the sanitizer build. LeakSanitizer is told to ignore the blocks that the
// code of the Qt WebKit library allocates itself: WebKit leaves some unreferenced at exit (from
// setting up a page's main frame, loading the first page from the network, clearing its memory
// cache). Its symbols are stripped, so a suppression could only name the whole library, and that
// would also hide our own leaks, because most of our code runs inside calls from WebKit. The
// boundary here is exact instead: a block whose allocating call comes from WebKit's code is
// WebKit's; a block that our code allocates, even while called from WebKit, is still checked,
// together with everything it owns.

#include <sanitizer/allocator_interface.h>
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>

#include <cstdint>
#include <cstring>
#include <link.h>

namespace {

struct CodeRange
{
    std::uintptr_t begin;
    std::uintptr_t end;
};

// The executable segments of libQt5WebKit; a shared library has one or two.
CodeRange webKitCode[4];
int webKitCodeCount = 0;

bool isWebKitCode(std::uintptr_t address)
{
    for (int i = 0; i < webKitCodeCount; ++i) {
        if (address >= webKitCode[i].begin && address < webKitCode[i].end) {
            return true;
        }
    }
    return false;
}

int findWebKit(dl_phdr_info *info, size_t, void *)
{
    // Not libQt5WebKitWidgets: the widget layer calls our code directly and allocates little.
    if (!info->dlpi_name || !std::strstr(info->dlpi_name, "/libQt5WebKit.so")) {
        return 0;
    }
    for (int i = 0; i < info->dlpi_phnum && webKitCodeCount < 4; ++i) {
        const ElfW(Phdr) &segment = info->dlpi_phdr[i];
        if (segment.p_type == PT_LOAD && (segment.p_flags & PF_X)) {
            const std::uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
            webKitCode[webKitCodeCount++] = {begin, begin + segment.p_memsz};
        }
    }
    return 1;
}

void onAllocation(const volatile void *block, size_t)
{
    // Frame 0 is the allocator's entry point, frame 1 the code that called it.
    void *frames[2];
    int thread = 0;
    void *address = const_cast<void *>(block);
    if (__asan_get_alloc_stack(address, frames, 2, &thread) == 2
        && isWebKitCode(reinterpret_cast<std::uintptr_t>(frames[1]))) {
        __lsan_ignore_object(address);
    }
}

// The runtime installs a malloc hook only together with a free hook.
void onRelease(const volatile void *) { }

// Tests without windows do not load WebKit and get no hook.
const bool installed = [] {
    dl_iterate_phdr(findWebKit, nullptr);
    return webKitCodeCount > 0 && __sanitizer_install_malloc_and_free_hooks(onAllocation, onRelease) > 0;
}();

} // namespace
