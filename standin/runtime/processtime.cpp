#include "processtime.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>

namespace standin {

double bootSeconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

double secondsSinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string text { std::istreambuf_iterator<char>(stat), std::istreambuf_iterator<char>() };
    const auto close = text.rfind(')'); // the program's name may hold blanks
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) { } // field 22: start time in clock ticks
    const double started = std::strtod(field.c_str(), nullptr) / double(::sysconf(_SC_CLK_TCK));
    return std::max(0.0, bootSeconds() - started);
}

} // namespace standin
