#include "driver.hpp"
