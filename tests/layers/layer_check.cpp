// Linked with every object of one library and only the libraries below it: the link fails on
// any call from that library up into a higher one.
int main()
{
    return 0;
}
