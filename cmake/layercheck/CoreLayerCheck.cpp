// Linked with every object of the client's core and no GUI library, so that
// window code in the core fails the build (see cmake/LayerCheck.cmake).
int main()
{
  return 0;
}
