// Writes a folder of sample models, textures, surfaces and particle definitions with our own
// writers: qrb_samples DIR [COPIES]. COPIES further copies of each model go to DIR/many/.
#include <stdio.h>
#include <stdlib.h>

#include "qrender/tests/qr_sample_models.h"

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3)
    {
        fprintf(stderr, "usage: qrb_samples DIR [COPIES]\n");
        return 2;
    }
    int locCopies = argc == 3 ? atoi(argv[2]) : 0;
    if (!QRT_WriteSampleFolder(argv[1], locCopies < 0 ? 0 : locCopies))
    {
        fprintf(stderr, "qrb_samples: cannot write the folder %s\n", argv[1]);
        return 1;
    }
    return 0;
}
