// What a routine writes to a stream, collected as bytes.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

std::string written_by(const std::function<void(std::FILE*)>& write);
