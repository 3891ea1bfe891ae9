# The one function of the big-endian library, in assembly so that a cross binutils is all it needs.
	.text
	.globl extra
	.type extra, @function
extra:
	blr
