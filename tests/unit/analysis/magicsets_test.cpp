// Magic sets rewriting.
#include <gtest/gtest.h>
