"""The web API's data: users' profiles, devices, records of uploaded sessions,
bundles with their permissions, and teams."""

from django.conf import settings
from django.db import models
from django.db.models.signals import post_save
from django.dispatch import receiver

# Record times are counts of 1/256-second units since 1970 ("device time").
UNITS_PER_SECOND = 256


class Profile(models.Model):
    GENDERS = [("M", "male"), ("F", "female")]

    user = models.OneToOneField(settings.AUTH_USER_MODEL, on_delete=models.CASCADE,
                                related_name="profile")
    date_of_birth = models.DateField(null=True, blank=True)
    gender = models.CharField(max_length=1, choices=GENDERS, default="M")
    height = models.FloatField(null=True, blank=True, help_text="centimetres")
    weight = models.FloatField(null=True, blank=True, help_text="kilograms")

    def __str__(self):
        return f"profile of {self.user}"


@receiver(post_save, sender=settings.AUTH_USER_MODEL)
def give_every_user_a_profile(sender, instance, created, **kwargs):
    # The client expects "profile" on every user object, admins and sign-ups included.
    if created:
        Profile.objects.get_or_create(user=instance)


class Device(models.Model):
    """A recorder, named by its serial; created the first time a record names it."""

    serial = models.CharField(max_length=64, primary_key=True)
    created = models.DateTimeField(auto_now_add=True)

    def __str__(self):
        return self.serial


class Record(models.Model):
    """One uploaded session and the state of its timeline data."""

    COMPLETE, INCOMPLETE, DELETED = "complete", "incomplete", "deleted"
    STATUSES = [(COMPLETE, COMPLETE), (INCOMPLETE, INCOMPLETE), (DELETED, DELETED)]

    user = models.ForeignKey(settings.AUTH_USER_MODEL, on_delete=models.CASCADE,
                             related_name="records")
    device = models.ForeignKey(Device, on_delete=models.PROTECT, related_name="records")
    # Whole units: the client sends fractions of a unit but queries with the
    # fraction cut off (start__exact=2560), so the fraction is cut on the way in.
    start = models.BigIntegerField()
    end = models.BigIntegerField()
    data = models.TextField(blank=True, default="", help_text="session descriptor, Base64")
    dev_id = models.CharField(max_length=128, blank=True, default="")
    firmware_rev = models.CharField(max_length=64, blank=True, default="")
    npages = models.PositiveIntegerField(default=0)
    soft_protocole = models.BigIntegerField(default=0)
    soft_uid = models.CharField(max_length=64, blank=True, default="")
    status = models.CharField(max_length=16, choices=STATUSES, default=INCOMPLETE)
    created = models.DateTimeField(auto_now_add=True)

    # Timeline data: the declared total size, the byte ranges received so far
    # (merged, inclusive [first, last] pairs, JSON) and the number of bytes they cover.
    timeline_total = models.BigIntegerField(null=True, blank=True)
    timeline_ranges = models.TextField(default="[]")
    timeline_size = models.BigIntegerField(default=0)
    n_uploaded_timelines = models.PositiveIntegerField(default=0)

    class Meta:
        ordering = ["id"]
        indexes = [models.Index(fields=["device", "start"], name="record_device_start_idx")]
        # A session (its device, start and user) has one record that is not deleted:
        # uploaders racing to create it in several workers must end up sharing it.
        # A deleted record does not count, so that the session can be uploaded again.
        constraints = [models.UniqueConstraint(
            fields=["device", "start", "user"], condition=~models.Q(status="deleted"),
            name="record_one_live_per_session")]

    def __str__(self):
        return f"record {self.pk} ({self.device_id}, start {self.start})"


class Bundle(models.Model):
    name = models.CharField(max_length=128)

    def __str__(self):
        return self.name


class BundlePermission(models.Model):
    """user_allowed may see the data of user_target within a bundle."""

    bundle = models.ForeignKey(Bundle, on_delete=models.CASCADE, related_name="permissions")
    name = models.CharField(max_length=128, blank=True, default="")
    user_allowed = models.ForeignKey(settings.AUTH_USER_MODEL, on_delete=models.CASCADE,
                                     related_name="permissions_given")
    user_target = models.ForeignKey(settings.AUTH_USER_MODEL, on_delete=models.CASCADE,
                                    related_name="permissions_on")

    class Meta:
        ordering = ["id"]

    def __str__(self):
        return f"{self.user_allowed} sees {self.user_target} ({self.bundle})"


class Team(models.Model):
    name = models.CharField(max_length=128)
    manager = models.ForeignKey(settings.AUTH_USER_MODEL, on_delete=models.SET_NULL,
                                null=True, blank=True, related_name="managed_teams")
    members = models.ManyToManyField(settings.AUTH_USER_MODEL, related_name="teams", blank=True)

    class Meta:
        ordering = ["id"]

    def __str__(self):
        return self.name
