#include "lib-rs.hpp"
