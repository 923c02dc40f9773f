#pragma once

#include <cstdlib>
#include <string>

namespace packsmith::test {

// Sets an environment variable of this process; "" removes it.
inline void SetEnvironment(const char* name, const std::string& value)
{
#ifdef _WIN32
    _putenv_s(name, value.c_str()); // "" removes it here
#else
    if (value.empty())
        unsetenv(name);
    else
        setenv(name, value.c_str(), 1);
#endif
}

} // namespace packsmith::test
