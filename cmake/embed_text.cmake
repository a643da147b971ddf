# cmake -DIN=<text file> -DOUT=<file> -P embed_text.cmake: writes the text file as one C++ raw
# string literal, for a source to #include where a string literal may stand.
file(READ ${IN} content)
file(WRITE ${OUT} "R\"qbembed(${content})qbembed\"\n")
