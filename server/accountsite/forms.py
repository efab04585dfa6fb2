from django import forms
from django.contrib.auth import get_user_model
from django.contrib.auth.forms import UserCreationForm

from cloudapi.models import Profile


class SignupForm(UserCreationForm):
    email = forms.EmailField()
    first_name = forms.CharField(max_length=150)
    last_name = forms.CharField(max_length=150)
    date_of_birth = forms.DateField(required=False, help_text="yyyy-mm-dd",
                                    input_formats=["%Y-%m-%d"])
    gender = forms.ChoiceField(choices=Profile.GENDERS)
    height = forms.FloatField(required=False, min_value=0, help_text="centimetres")
    weight = forms.FloatField(required=False, min_value=0, help_text="kilograms")

    class Meta(UserCreationForm.Meta):
        model = get_user_model()
        fields = ("username", "email", "first_name", "last_name")

    def clean_username(self):
        username = self.cleaned_data["username"]
        # A user name shaped like an e-mail would answer to another person's
        # e-mail sign-in, since user names are looked up first.
        if "@" in username:
            raise forms.ValidationError("A user name may not contain @.")
        return username

    def clean_email(self):
        email = self.cleaned_data["email"]
        # E-mails sign in too, so they must name one account only.
        if get_user_model().objects.filter(email__iexact=email).exists():
            raise forms.ValidationError("An account with this e-mail already exists.")
        return email

    def save(self, commit=True):
        user = super().save(commit=commit)
        profile = user.profile  # made when the user was saved
        for name in ("date_of_birth", "gender", "height", "weight"):
            setattr(profile, name, self.cleaned_data.get(name))
        profile.save()
        return user
