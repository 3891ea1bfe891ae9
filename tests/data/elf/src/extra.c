/* The one function of the small libraries. Its name is also the tail of libtiny's RUNPATH, so that
   ld, which stores a string that ends another only once, makes the symbol's name share the search
   path's last bytes. */
int extra(void)
{
    return 4;
}
