#pragma once
// A real OpenGL compatibility context for the gl tests of the drawing code:
// an offscreen surface and a square framebuffer object, made once by the
// test program's main (under Xvfb) and shared by its tests.

#include <gtest/gtest.h>

namespace orv::test {

// The main of a gl test program: creates the application, GLUT (bitmap
// fonts) and a `size` x `size` framebuffer, runs the tests and releases the
// context. Listing the tests needs no display. Without a context the tests
// fail in bind_offscreen_gl.
int run_offscreen_gl_tests(int argc, char** argv, int size);

// Makes the context current and binds its framebuffer (a test's SetUp), the
// whole framebuffer showing x and y from `lo` to `hi` (z from -1 to 1) with
// an identity model-view matrix.
::testing::AssertionResult bind_offscreen_gl(double lo, double hi);
// Unbinds the framebuffer (a test's TearDown).
void release_offscreen_gl();

} // namespace orv::test
