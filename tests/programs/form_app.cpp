// Runs the shared form (programs/form.hpp) as an application: Ctrl+C ends it with status 1.
#include <vn/application.hpp>
#include <vn/terminal.hpp>

#include "programs/form.hpp"

int main() {
  vennic::test::Form form;
  return vn::Application{form.window, vn::Terminal{}}.run();
}
