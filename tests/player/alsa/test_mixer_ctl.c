/* A software ALSA control device for tests: a "Master Playback Volume"
 * (two channels, 0..87) and one "<name> Capture Switch" per input line,
 * with their values kept in a state file so that they survive between the
 * opens of one test. Configured as
 *
 *   ctl_type.vexatest { lib "/path/libvexa_test_mixer_ctl.so" }
 *   ctl.NAME { type vexatest  state "/path/state"  master 1  lines "Mic=1,Line=0,CD=1" }
 *
 * "master 0" leaves the volume out. The state file holds one value per
 * line: the master volume, then each line's switch. */
#include <alsa/asoundlib.h>
#include <alsa/control_external.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_LINES 8
#define MASTER_MAX 87

struct test_ctl
{
    snd_ctl_ext_t ext;
    char state[512];
    int has_master;
    long master;
    int line_count;
    char line_names[MAX_LINES][32];
    long line_on[MAX_LINES];
};

static void load_state(struct test_ctl *ctl)
{
    FILE *file = fopen(ctl->state, "r");
    if (!file)
        return;
    long value;
    if (fscanf(file, "%ld", &value) == 1)
        ctl->master = value;
    for (int i = 0; i < ctl->line_count && fscanf(file, "%ld", &value) == 1; ++i)
        ctl->line_on[i] = value;
    fclose(file);
}

static void save_state(const struct test_ctl *ctl)
{
    FILE *file = fopen(ctl->state, "w");
    if (!file)
        return;
    fprintf(file, "%ld\n", ctl->master);
    for (int i = 0; i < ctl->line_count; ++i)
        fprintf(file, "%ld\n", ctl->line_on[i]);
    fclose(file);
}

/* Keys: 0 is the master volume, 1.. the line switches. */
static int first_key(const struct test_ctl *ctl)
{
    return ctl->has_master ? 0 : 1;
}

static int elem_count(snd_ctl_ext_t *ext)
{
    struct test_ctl *ctl = ext->private_data;
    return ctl->line_count + (ctl->has_master ? 1 : 0);
}

static void key_name(const struct test_ctl *ctl, int key, char *name, size_t size)
{
    if (key == 0)
        snprintf(name, size, "Master Playback Volume");
    else
        snprintf(name, size, "%s Capture Switch", ctl->line_names[key - 1]);
}

static int elem_list(snd_ctl_ext_t *ext, unsigned int offset, snd_ctl_elem_id_t *id)
{
    struct test_ctl *ctl = ext->private_data;
    char name[64];
    key_name(ctl, (int)offset + first_key(ctl), name, sizeof name);
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, name);
    return 0;
}

static snd_ctl_ext_key_t find_elem(snd_ctl_ext_t *ext, const snd_ctl_elem_id_t *id)
{
    struct test_ctl *ctl = ext->private_data;
    const char *wanted = snd_ctl_elem_id_get_name(id);
    char name[64];
    for (int key = first_key(ctl); key <= ctl->line_count; ++key) {
        key_name(ctl, key, name, sizeof name);
        if (strcmp(name, wanted) == 0)
            return (snd_ctl_ext_key_t)key;
    }
    return SND_CTL_EXT_KEY_NOT_FOUND;
}

static int get_attribute(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, int *type, unsigned int *acc, unsigned int *count)
{
    (void)ext;
    *type = key == 0 ? SND_CTL_ELEM_TYPE_INTEGER : SND_CTL_ELEM_TYPE_BOOLEAN;
    *acc = SND_CTL_EXT_ACCESS_READWRITE;
    *count = key == 0 ? 2 : 1;
    return 0;
}

static int get_integer_info(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, long *imin, long *imax, long *istep)
{
    (void)ext;
    *imin = 0;
    *imax = key == 0 ? MASTER_MAX : 1;
    *istep = 1;
    return 0;
}

static int read_integer(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, long *value)
{
    struct test_ctl *ctl = ext->private_data;
    if (key == 0)
        value[0] = value[1] = ctl->master;
    else
        value[0] = ctl->line_on[key - 1];
    return 0;
}

static int write_integer(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, long *value)
{
    struct test_ctl *ctl = ext->private_data;
    if (key == 0)
        ctl->master = value[0];
    else
        ctl->line_on[key - 1] = value[0];
    save_state(ctl);
    return 1;
}

static int read_event(snd_ctl_ext_t *ext, snd_ctl_elem_id_t *id, unsigned int *event_mask)
{
    (void)ext;
    (void)id;
    (void)event_mask;
    return -EAGAIN;
}

static void close_ctl(snd_ctl_ext_t *ext)
{
    free(ext->private_data);
}

static const snd_ctl_ext_callback_t callbacks = {
    .close = close_ctl,
    .elem_count = elem_count,
    .elem_list = elem_list,
    .find_elem = find_elem,
    .get_attribute = get_attribute,
    .get_integer_info = get_integer_info,
    .read_integer = read_integer,
    .write_integer = write_integer,
    .read_event = read_event,
};

static void parse_lines(struct test_ctl *ctl, const char *text)
{
    char copy[512];
    snprintf(copy, sizeof copy, "%s", text);
    char *save = NULL;
    for (char *item = strtok_r(copy, ",", &save); item && ctl->line_count < MAX_LINES;
         item = strtok_r(NULL, ",", &save)) {
        char *equals = strchr(item, '=');
        if (equals)
            *equals = '\0';
        snprintf(ctl->line_names[ctl->line_count], sizeof ctl->line_names[0], "%s", item);
        ctl->line_on[ctl->line_count] = equals ? atol(equals + 1) : 0;
        ++ctl->line_count;
    }
}

SND_CTL_PLUGIN_DEFINE_FUNC(vexatest)
{
    (void)root;
    struct test_ctl *ctl = calloc(1, sizeof *ctl);
    if (!ctl)
        return -ENOMEM;
    ctl->has_master = 1;
    ctl->master = 40;
    snd_config_iterator_t i, next;
    snd_config_for_each(i, next, conf)
    {
        snd_config_t *node = snd_config_iterator_entry(i);
        const char *id = NULL;
        const char *text = NULL;
        long number = 0;
        if (snd_config_get_id(node, &id) < 0)
            continue;
        if (strcmp(id, "state") == 0 && snd_config_get_string(node, &text) == 0)
            snprintf(ctl->state, sizeof ctl->state, "%s", text);
        else if (strcmp(id, "master") == 0 && snd_config_get_integer(node, &number) == 0)
            ctl->has_master = number != 0;
        else if (strcmp(id, "lines") == 0 && snd_config_get_string(node, &text) == 0)
            parse_lines(ctl, text);
    }
    load_state(ctl);

    ctl->ext.version = SND_CTL_EXT_VERSION;
    ctl->ext.card_idx = 0;
    snprintf(ctl->ext.id, sizeof ctl->ext.id, "vexatest");
    snprintf(ctl->ext.driver, sizeof ctl->ext.driver, "vexatest");
    snprintf(ctl->ext.name, sizeof ctl->ext.name, "Vexa test mixer");
    snprintf(ctl->ext.longname, sizeof ctl->ext.longname, "Vexa test mixer");
    snprintf(ctl->ext.mixername, sizeof ctl->ext.mixername, "Vexa test mixer");
    ctl->ext.poll_fd = -1;
    ctl->ext.callback = &callbacks;
    ctl->ext.private_data = ctl;
    int err = snd_ctl_ext_create(&ctl->ext, name, mode);
    if (err < 0) {
        free(ctl);
        return err;
    }
    *handlep = ctl->ext.handle;
    return 0;
}

SND_CTL_PLUGIN_SYMBOL(vexatest);
