#include "testsupport/written.h"

#include <cstdlib>

std::string written_by(const std::function<void(std::FILE*)>& write)
{
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    write(out);
    std::fclose(out);
    std::string result(text, size);
    std::free(text);
    return result;
}
